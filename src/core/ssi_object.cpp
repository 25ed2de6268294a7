#include "core/ssi_object.h"

namespace kestra {

void WriteFlagSet(ValueWriter& writer, const bool* flags, int count) {
    std::int32_t v = 0;
    for (int i = 0; i < count && i < 31; ++i) {
        if (flags[i]) v |= std::int32_t{1} << i;
    }
    writer.WriteInteger(v);
}

void WriteFlagSet(ValueWriter& writer, std::initializer_list<bool> flags) {
    WriteFlagSet(writer, flags.begin(), static_cast<int>(flags.size()));
}

void ReadFlagSet(ValueReader& reader, bool* flags, int count) {
    const std::int32_t v = reader.ReadInteger();
    for (int i = 0; i < count; ++i) flags[i] = i < 31 && ((v >> i) & 1) != 0;
}

void LoadCommits::Commit() {
    std::vector<std::unique_ptr<StepBase>> steps = std::move(steps_);
    steps_.clear();
    for (auto& step : steps) step->Run();
}

bool TSSIObject::Load(ValueReader& reader) {
    return LoadAllOrNothing([&](LoadCommits& commits) { return StageLoad(reader, commits); });
}

int TSSIList::Add(std::string key, TSSIObject* object) {
    entries_.push_back({std::move(key), object});
    ++version_;
    return Count() - 1;
}

void TSSIList::AddObjectList(std::initializer_list<TSSIObject*> objects) {
    for (TSSIObject* o : objects) Add({}, o);
}

int TSSIList::AddUniqueObject(std::string key, TSSIObject* object) {
    if (IndexOf(object) >= 0) return -1;
    return Add(std::move(key), object);
}

void TSSIList::Insert(int index, std::string key, TSSIObject* object) {
    if (index < 0) index = 0;
    if (index > Count()) index = Count();
    entries_.insert(entries_.begin() + index, Entry{std::move(key), object});
    ++version_;
}

void TSSIList::Delete(int index) {
    if (index >= 0 && index < Count()) entries_.erase(entries_.begin() + index);
    ++version_;
}

bool TSSIList::CheckLeftClick(int x, int y) {
    for (int i = 0; i < Count(); ++i) {
        TSSIObject* o = entries_[i].Object;
        if (o && o->CheckLeftClick(x, y)) return true;
    }
    return false;
}

bool TSSIList::CheckRightClick(int x, int y) {
    for (int i = 0; i < Count(); ++i) {
        TSSIObject* o = entries_[i].Object;
        if (o && o->CheckRightClick(x, y)) return true;
    }
    return false;
}

void TSSIList::CopyTo(TSSIList& destination) const {
    if (&destination == this) return;
    destination.entries_ = entries_;
    ++destination.version_;
}

void TSSIList::Draw() {
    for (int i = 0; i < Count(); ++i) {
        if (TSSIObject* o = entries_[i].Object) o->Draw();
    }
}

int TSSIList::FindNextObject(int start, const TSSIObject* object) const {
    if (start < 0) start = 0;
    for (int i = start; i < Count(); ++i) {
        if (entries_[i].Object == object) return i;
    }
    return -1;
}

int TSSIList::FindPrevObject(int start, const TSSIObject* object) const {
    if (start >= Count()) start = Count() - 1;
    for (int i = start; i >= 0; --i) {
        if (entries_[i].Object == object) return i;
    }
    return -1;
}

TSSIObject* TSSIList::GetItem(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return entries_[index].Object;
}

void TSSIList::Pack() {
    std::erase_if(entries_, [](const Entry& e) { return e.Object == nullptr; });
    ++version_;
}

bool TSSIList::StageLoad(ValueReader& reader, LoadCommits& commits) {
    for (int i = 0; i < Count(); ++i) {
        TSSIObject* o = entries_[i].Object;
        if (o && !o->StageLoad(reader, commits)) return false;
    }
    return true;
}

bool TSSIList::Load(ValueReader& reader) {
    return LoadAllOrNothing([&](LoadCommits& commits) { return StageLoad(reader, commits); });
}

void TSSIList::MajorCycle() {
    for (int i = 0; i < Count(); ++i) {
        if (TSSIObject* o = entries_[i].Object) o->MajorCycle();
    }
}

void TSSIList::OneSecond() {
    for (int i = 0; i < Count(); ++i) {
        if (TSSIObject* o = entries_[i].Object) o->OneSecond();
    }
}

void TSSIList::Reset() {
    for (int i = 0; i < Count(); ++i) {
        if (TSSIObject* o = entries_[i].Object) o->Reset();
    }
    Pack();
}

bool TSSIList::Save(ValueWriter& writer) {
    try {
        for (int i = 0; i < Count(); ++i) {
            TSSIObject* o = entries_[i].Object;
            if (o && !o->Save(writer)) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace kestra
