#pragma once
// The object framework: the base of every simulated object and the ordered lists
// that drive the eight object operations over their members.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/value_stream.h"

namespace kestra {

class Sim;

// Class tags for code that must tell apart a generic reference.
enum ObjectKind : std::uint8_t {
    KindOther = 0,
    KindBerth = 2,
    KindRoute = 6,
    KindARSTrain = 11,
};

// The changes read from saved records, held back until every record has been read,
// so that a load which fails part-way changes nothing at all. Reading an object's
// record adds one step that applies it; Commit runs the steps in the order added.
// A step only assigns what was read and checked: it cannot fail.
class LoadCommits {
  public:
    LoadCommits() = default;
    LoadCommits(const LoadCommits&) = delete;
    LoadCommits& operator=(const LoadCommits&) = delete;

    template <class F>
    void Add(F&& apply) {
        steps_.push_back(std::make_unique<Step<std::decay_t<F>>>(std::forward<F>(apply)));
    }
    int Count() const { return static_cast<int>(steps_.size()); }
    // Applies every staged record, then forgets them.
    void Commit();

  private:
    struct StepBase {
        virtual ~StepBase() = default;
        virtual void Run() = 0;
    };
    template <class F>
    struct Step final : StepBase {
        explicit Step(F f) : apply(std::move(f)) {}
        void Run() override { apply(); }
        F apply;
    };
    std::vector<std::unique_ptr<StepBase>> steps_;
};

// Runs stage(commits) and, only when it succeeds, applies everything it staged. A
// read error counts as failure; nothing changes on failure.
template <class Stage>
bool LoadAllOrNothing(Stage&& stage) {
    LoadCommits commits;
    try {
        if (!stage(commits)) return false;
    } catch (const std::exception&) {
        return false;
    }
    commits.Commit();
    return true;
}

// Base of every simulated object. The virtual operations default to doing nothing
// (clicks unclaimed, load and save read and write nothing).
class TSSIObject {
  public:
    explicit TSSIObject(std::string id = {}) : ID(std::move(id)) {}
    virtual ~TSSIObject() = default;
    TSSIObject(const TSSIObject&) = delete;
    TSSIObject& operator=(const TSSIObject&) = delete;

    virtual bool CheckLeftClick(int /*x*/, int /*y*/) { return false; }
    virtual bool CheckRightClick(int /*x*/, int /*y*/) { return false; }
    virtual void Draw() {}
    // Reads this object's saved record and checks it without changing the object, and
    // adds the step that applies it to commits. False, or a ReadError, when the record
    // is cut short or corrupt; nothing has changed then.
    virtual bool StageLoad(ValueReader& /*reader*/, LoadCommits& /*commits*/) { return true; }
    virtual void MajorCycle() {}
    virtual void OneSecond() {}
    virtual void Reset() {}
    // Writes this object's saved record. May raise WriteError, which the list's Save
    // turns into false.
    virtual bool Save(ValueWriter& /*writer*/) { return true; }

    // Reads and applies this object's saved record; on failure the object is left
    // exactly as it was.
    bool Load(ValueReader& reader);

    std::string ID;
    std::uint8_t Kind = KindOther;
};

// Writes a boolean array as one integer, element i in bit i.
void WriteFlagSet(ValueWriter& writer, std::initializer_list<bool> flags);
void WriteFlagSet(ValueWriter& writer, const bool* flags, int count);
// Reads such an integer back into count booleans.
void ReadFlagSet(ValueReader& reader, bool* flags, int count);

// An ordered list of (key, object) pairs. Never sorted: insertion order is list order
// and every operation runs from index 0 upward. Entries do not own their objects.
class TSSIList {
  public:
    struct Entry {
        std::string Key;
        TSSIObject* Object;
    };

    TSSIList() = default;
    virtual ~TSSIList() = default;
    TSSIList(const TSSIList&) = delete;
    TSSIList& operator=(const TSSIList&) = delete;

    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const std::string& Key(int index) const { return entries_[index].Key; }

    // Appends (key, object) and returns the new index.
    int Add(std::string key, TSSIObject* object);
    void AddObjectList(std::initializer_list<TSSIObject*> objects);
    int AddUniqueObject(std::string key, TSSIObject* object);
    void Insert(int index, std::string key, TSSIObject* object);
    // Removes the entry at index (the object is not destroyed).
    void Delete(int index);
    void Clear() {
        entries_.clear();
        ++version_;
    }
    // Sets the entry's object to none; Pack removes such entries.
    void SetItem(int index, TSSIObject* object) {
        entries_[index].Object = object;
        ++version_;
    }
    // Changes with every change of the entries, so that data derived from the list can
    // tell when it must be derived again.
    std::uint64_t Version() const { return version_; }

    bool CheckLeftClick(int x, int y);
    bool CheckRightClick(int x, int y);
    void CopyTo(TSSIList& destination) const;
    void Draw();
    int FindNextObject(int start, const TSSIObject* object) const;
    int FindPrevObject(int start, const TSSIObject* object) const;
    int IndexOf(const TSSIObject* object) const { return FindNextObject(0, object); }
    TSSIObject* GetItem(int index) const;
    void Pack();

    // Destroys the objects the list owns. A plain reference list owns nothing.
    virtual void FreeObjects() {}
    // Reads every member's record in list order into commits, stopping at the first
    // that fails; no member changes. Lists with members of their own making override
    // this to read their count and build new members.
    virtual bool StageLoad(ValueReader& reader, LoadCommits& commits);
    // Stages every member's record and applies them only when all have been read:
    // a load that fails leaves every member as it was.
    bool Load(ValueReader& reader);
    virtual void MajorCycle();
    virtual void OneSecond();
    virtual void Reset();
    virtual bool Save(ValueWriter& writer);

  protected:
    std::vector<Entry> entries_;
    std::uint64_t version_ = 0;
};

// A list of objects of one class. It owns the objects made through Create or Adopt
// (a class list) and merely refers to those added with Add (a reference list).
template <class T>
class TTypedList : public TSSIList {
  public:
    template <class... Args>
    T& Create(Args&&... args) {
        return Adopt(std::make_unique<T>(std::forward<Args>(args)...));
    }

    T& Adopt(std::unique_ptr<T> object) {
        T* adopted = object.get();
        owned_.push_back(std::move(object));
        Add(adopted->ID, adopted);
        return *adopted;
    }

    T* At(int index) const { return static_cast<T*>(GetItem(index)); }

    // True when f holds for every member; empty entries are passed over.
    template <class F>
    bool AllOf(F&& f) const {
        for (int i = 0; i < Count(); ++i) {
            T* object = At(i);
            if (object && !f(*object)) return false;
        }
        return true;
    }

    // Linear scan from index 0 comparing IDs exactly; first match or none.
    T* FindID(std::string_view id) const {
        for (const Entry& e : entries_) {
            if (e.Object && e.Object->ID == id) return static_cast<T*>(e.Object);
        }
        return nullptr;
    }

    // Destroys one owned object and sets its entry to none (packed later).
    void Destroy(T* object) {
        ++version_;
        for (auto& e : entries_) {
            if (e.Object == object) e.Object = nullptr;
        }
        for (auto it = owned_.begin(); it != owned_.end(); ++it) {
            if (it->get() == object) {
                owned_.erase(it);
                break;
            }
        }
    }

    // Destroys every owned object and empties the list, so no entry is left dangling.
    void FreeObjects() override {
        ++version_;
        entries_.clear();
        owned_.clear();
    }

    // Iteration over the non-empty entries as T*.
    template <class F>
    void ForEach(F&& f) const {
        for (const Entry& e : entries_) {
            if (e.Object) f(*static_cast<T*>(e.Object));
        }
    }

  private:
    std::vector<std::unique_ptr<T>> owned_;
};

// Reads an object reference saved as its index in a class list: -1, or any other
// index outside the list, is none.
template <class T>
T* ReadReference(ValueReader& reader, const TTypedList<T>& list) {
    return list.At(reader.ReadInteger());
}

// The records of a list whose members a saved record creates (speed restrictions of
// a circuit or a subroute, trains): the member count, then each member's record.
template <class T>
void SaveCounted(ValueWriter& writer, const TTypedList<T>& list) {
    writer.WriteInteger(list.Count());
    list.ForEach([&](T& member) {
        if (!member.Save(writer)) throw WriteError("a member's record failed to save");
    });
}

// Reads such records into new members made by make(), none of them in any list yet.
// A count below 0, or larger than the bytes left could hold at minRecordBytes each,
// is corrupt and is refused before anything is built.
template <class T, class Make>
bool ReadCounted(ValueReader& reader, std::size_t minRecordBytes, Make&& make,
                 std::vector<std::unique_ptr<T>>& members) {
    const std::int32_t count = reader.ReadInteger();
    if (count < 0 || static_cast<std::size_t>(count) > reader.Remaining() / minRecordBytes)
        return false;
    members.clear();
    members.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<T> member = make();
        if (!member->Load(reader)) return false;
        members.push_back(std::move(member));
    }
    return true;
}

}  // namespace kestra
