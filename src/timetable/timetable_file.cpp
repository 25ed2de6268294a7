#include "timetable/timetable_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {

TTrainCategory* FindLoadCategory(const Sim& sim, TimetableLoad& load, const std::string& name) {
    if (!load.CategoryIndexBuilt) {
        sim.Categories.ForEach([&](TTrainCategory& c) { load.CategoryIndex.emplace(c.ID, &c); });
        for (const auto& c : load.NewCategories) load.CategoryIndex.emplace(c->ID, c.get());
        load.CategoryIndexBuilt = true;
    }
    const auto found = load.CategoryIndex.find(name);
    return found == load.CategoryIndex.end() ? nullptr : found->second;
}

bool AddLoadCategory(const Sim& sim, TimetableLoad& load,
                     std::unique_ptr<TTrainCategory> category) {
    if (FindLoadCategory(sim, load, category->ID)) return false;
    load.CategoryIndex.emplace(category->ID, category.get());
    load.NewCategories.push_back(std::move(category));
    return true;
}

std::string CharacteristicsProblem(std::int32_t maxSpeed, std::int32_t length,
                                   std::int32_t minSpeed) {
    if (maxSpeed < minSpeed || maxSpeed > MaxTrainSpeedMph)
        return "maximum speed " + std::to_string(maxSpeed) + " mph is not " +
               std::to_string(minSpeed) + " to " + std::to_string(MaxTrainSpeedMph);
    if (length < 0 || length > MaxTrainLengthMetres)
        return "length " + std::to_string(length) + " m is not 0 to " +
               std::to_string(MaxTrainLengthMetres);
    return {};
}

std::string PrintableText(std::string_view text) {
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

namespace {

// The fewest bytes a record of each kind takes: a count read from a file is refused
// when what is left could not hold that many records.
constexpr std::size_t kMinCategoryBytes = 13;
constexpr std::size_t kMinTimetableBytes = 28;
constexpr std::size_t kMinTripBytes = 20;
constexpr std::size_t kMinActivityBytes = 4;

// Thrown inside the readers for a record that reads but cannot be used.
struct BadRecord {
    std::string Reason;
};

std::int32_t ReadCount(ValueReader& r, std::size_t minBytes, const char* what) {
    const std::int32_t count = r.ReadInteger();
    if (count < 0 || static_cast<std::size_t>(count) > r.Remaining() / minBytes) {
        throw BadRecord{std::string("corrupt ") + what + " count " + std::to_string(count)};
    }
    return count;
}

std::int32_t ReadRanged(ValueReader& r, std::int32_t lo, std::int32_t hi, const std::string& what) {
    const std::int32_t v = r.ReadInteger();
    if (v < lo || v > hi) throw BadRecord{what + " " + std::to_string(v) + " out of range"};
    return v;
}

void ReadTrip(ValueReader& r, Sim& sim, const std::string& train, TTimetableTrip& t) {
    std::string id = r.ReadString();
    if (!id.empty() && id[0] == '*') {
        t.AutoInserted = true;
        id.erase(0, 1);
    }
    if (!id.empty()) {
        t.Location = sim.Locations.FindID(id);
        if (!t.Location) throw BadRecord{"train " + train + ": unknown location " + id};
    }
    t.DepTime = r.ReadInteger();
    t.ArrTime = r.ReadInteger();
    t.Platform = r.ReadString();
    t.Line = r.ReadString();
    t.Path = r.ReadString();
    t.EngAllowance = r.ReadInteger();
    t.PathAllowance = r.ReadInteger();
    t.IsPass = r.ReadBoolean();
    t.DownDirection = r.ReadBoolean();
    if (t.ArrTime != 0 && t.DepTime == 0) t.DepTime = t.ArrTime;
    const std::int32_t count = ReadCount(r, kMinActivityBytes, "activity");
    t.Activities.Items.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        TTimetableActivity a;
        a.ActivityKind = static_cast<std::uint8_t>(
            ReadRanged(r, ActNextTrain, ActJoins, "train " + train + ": activity kind"));
        a.Headcode = r.ReadString();
        t.Activities.Items.push_back(std::move(a));
    }
}

std::unique_ptr<TTimetable> ReadOneTimetable(ValueReader& r, Sim& sim, bool keepEntered,
                                             bool readCategoryName, TimetableLoad& load) {
    auto t = std::make_unique<TTimetable>(sim, r.ReadString());
    const std::string& train = t->ID;
    t->AccelBrake = ReadRanged(r, AccelVeryLow, AccelVeryHigh, "train " + train + ": profile");
    t->AsRequired = r.ReadBoolean();
    t->AsRequiredPercent = ReadRanged(r, 0, 100, "train " + train + ": as-required percentage");
    t->Delay = r.ReadInteger();
    t->DelayWarned = r.ReadBoolean();
    t->EntryTime = r.ReadInteger();
    t->Description = r.ReadString();
    const std::string entry = r.ReadString();
    if (!entry.empty()) {
        t->EntryPoint = sim.EntryPoints.FindID(entry);
        if (!t->EntryPoint) throw BadRecord{"train " + train + ": unknown entry point " + entry};
    }
    t->MaxSpeed = r.ReadInteger();
    t->Reserved = r.ReadInteger();
    t->Entered = r.ReadBoolean();
    if (!keepEntered) t->Entered = false;
    t->IsFreight = r.ReadBoolean();
    t->Length = r.ReadInteger();
    const std::int32_t flags = r.ReadInteger();
    t->PowerTypes = flags & PowerTypeMask;
    t->STP = (flags & TimetableFlagSTP) != 0;
    if (readCategoryName) {
        const std::string name = r.ReadString();
        if (!name.empty()) {
            t->Category = FindLoadCategory(sim, load, name);
            if (!t->Category) throw BadRecord{"train " + train + ": unknown category " + name};
        }
    }
    const std::string problem = CharacteristicsProblem(t->MaxSpeed, t->Length);
    if (!problem.empty()) throw BadRecord{"train " + train + ": " + problem};
    const std::int32_t count = ReadCount(r, kMinTripBytes, "trip");
    t->Trips.Items.resize(static_cast<std::size_t>(count));
    for (TTimetableTrip& trip : t->Trips.Items) ReadTrip(r, sim, train, trip);
    return t;
}

// Runs a reader; a read error or a bad record fails with its reason in load.Error.
template <class F>
bool Guarded(TimetableLoad& load, F&& read) {
    try {
        read();
        return true;
    } catch (const BadRecord& bad) {
        load.Error = PrintableText(bad.Reason);
    } catch (const ReadError& e) {
        load.Error = PrintableText(std::string("Error reading from file: ") + e.what());
    }
    load.RecordFailed = true;
    return false;
}

}  // namespace

// --- writers

void WriteActivity(ValueWriter& w, const TTimetableActivity& a) {
    w.WriteInteger(a.ActivityKind);
    w.WriteString(a.Headcode);
}

void WriteTrip(ValueWriter& w, const TTimetableTrip& t) {
    std::string id = t.Location ? t.Location->ID : std::string();
    if (t.AutoInserted && t.Location) id.insert(0, "*");
    w.WriteString(id);
    w.WriteInteger(t.DepTime);
    w.WriteInteger(t.ArrTime);
    w.WriteString(t.Platform);
    w.WriteString(t.Line);
    w.WriteString(t.Path);
    w.WriteInteger(t.EngAllowance);
    w.WriteInteger(t.PathAllowance);
    w.WriteBoolean(t.IsPass);
    w.WriteBoolean(t.DownDirection);
    w.WriteInteger(static_cast<std::int32_t>(t.Activities.Items.size()));
    for (const TTimetableActivity& a : t.Activities.Items) WriteActivity(w, a);
}

void WriteTimetable(ValueWriter& w, const TTimetable& t, bool writeCategoryName) {
    w.WriteString(t.ID);
    w.WriteInteger(t.AccelBrake);
    w.WriteBoolean(t.AsRequired);
    w.WriteInteger(t.AsRequiredPercent);
    w.WriteInteger(t.Delay);
    w.WriteBoolean(t.DelayWarned);
    w.WriteInteger(t.EntryTime);
    w.WriteString(t.Description);
    w.WriteString(t.EntryPoint ? t.EntryPoint->ID : std::string());
    w.WriteInteger(t.MaxSpeed);
    w.WriteInteger(t.Reserved);
    w.WriteBoolean(t.Entered);
    w.WriteBoolean(t.IsFreight);
    w.WriteInteger(t.Length);
    w.WriteInteger((t.PowerTypes & PowerTypeMask) | (t.STP ? TimetableFlagSTP : 0));
    if (writeCategoryName) w.WriteString(t.Category ? t.Category->ID : std::string());
    w.WriteInteger(t.Trips.Count());
    for (const TTimetableTrip& trip : t.Trips.Items) WriteTrip(w, trip);
}

void WriteCategorySection(ValueWriter& w, const TTrainCategoryList& categories) {
    int count = 0;
    categories.ForEach([&](TTrainCategory&) { ++count; });
    w.WriteInteger(count);
    categories.ForEach([&](TTrainCategory& c) {
        w.WriteString(c.ID);
        w.WriteString(c.Description);
        w.WriteInteger(c.AccelBrake);
        w.WriteBoolean(c.IsFreight);
        w.WriteInteger(c.MaxSpeed);
        w.WriteInteger(c.Length);
        w.WriteInteger(c.PowerTypes & PowerTypeMask);
    });
}

void WriteTimetableSection(ValueWriter& w, const TTimetableList& timetables) {
    int count = 0;
    timetables.ForEach([&](TTimetable&) { ++count; });
    w.WriteInteger(count);
    timetables.ForEach([&](TTimetable& t) { WriteTimetable(w, t, true); });
}

// --- staged readers

bool ReadCategorySection(ValueReader& r, const Sim& sim, TimetableLoad& load) {
    return Guarded(load, [&] {
        const std::int32_t count = ReadCount(r, kMinCategoryBytes, "category");
        for (std::int32_t i = 0; i < count; ++i) {
            auto c = std::make_unique<TTrainCategory>(r.ReadString());
            c->Description = r.ReadString();
            c->AccelBrake =
                ReadRanged(r, AccelVeryLow, AccelVeryHigh, "category " + c->ID + ": profile");
            c->IsFreight = r.ReadBoolean();
            c->MaxSpeed = r.ReadInteger();
            c->Length = r.ReadInteger();
            c->PowerTypes = r.ReadInteger() & PowerTypeMask;
            const std::string problem = CharacteristicsProblem(c->MaxSpeed, c->Length);
            if (!problem.empty()) throw BadRecord{"category " + c->ID + ": " + problem};
            // A name already known keeps the category there is: merging a file twice
            // must not give two categories of one name.
            AddLoadCategory(sim, load, std::move(c));
        }
    });
}

bool ReadTimetableSection(ValueReader& r, Sim& sim, bool keepEntered, bool readCategoryName,
                          TimetableLoad& load) {
    return Guarded(load, [&] {
        const std::int32_t count = ReadCount(r, kMinTimetableBytes, "timetable");
        for (std::int32_t i = 0; i < count; ++i) {
            load.Timetables.push_back(
                ReadOneTimetable(r, sim, keepEntered, readCategoryName, load));
        }
    });
}

std::unique_ptr<TTimetable> ReadTimetableRecord(ValueReader& r, Sim& sim, std::string& error) {
    TimetableLoad load;
    std::unique_ptr<TTimetable> timetable;
    if (!Guarded(load, [&] { timetable = ReadOneTimetable(r, sim, true, true, load); })) {
        error = load.Error;
        return nullptr;
    }
    return timetable;
}

void CommitTimetableLoad(Sim& sim, TimetableLoad& load) {
    for (auto& c : load.NewCategories) sim.Categories.Adopt(std::move(c));
    load.NewCategories.clear();
    int index = 0;
    for (auto& t : load.Timetables) sim.Timetable.InsertOwned(index++, std::move(t));
    load.Timetables.clear();
    if (load.HasHeader) {
        sim.Timetable.Name = load.Name;
        sim.Timetable.Description = load.Description;
        sim.Timetable.StartTime = load.StartTime;
        sim.Timetable.FinishTime = load.FinishTime;
    }
    sim.Timetable.Modified = false;
}

// --- whole files

std::vector<std::uint8_t> TimetableFileBytes(const Sim& sim) {
    ValueWriter w;
    w.WriteString(TimetableMagic);
    w.WriteInteger(TimetableVersion);
    w.WriteString(sim.SimData.AreaID);
    w.WriteString(sim.Timetable.Name);
    w.WriteString(sim.Timetable.Description);
    w.WriteInteger(sim.Timetable.StartTime);
    w.WriteInteger(sim.Timetable.FinishTime);
    WriteCategorySection(w, sim.Categories);
    WriteTimetableSection(w, sim.Timetable);
    return w.TakeBytes();
}

bool ReadTimetableFile(Sim& sim, const std::vector<std::uint8_t>& bytes, TimetableLoad& load) {
    ValueReader r(bytes);
    std::string magic;
    std::int32_t version = 0;
    try {
        magic = r.ReadString();
        if (magic == TimetableMagic || magic == TimetableMagicOld) version = r.ReadInteger();
    } catch (const ReadError&) {
        // Too short even for a magic and a version: handled as a wrong magic below, or
        // as an unknown version.
    }
    if (magic != TimetableMagic && magic != TimetableMagicOld) {
        sim.Dialog().ShowError("Not a Kestra timetable file");
        load.Error = "Not a Kestra timetable file";
        return false;
    }
    if (version != TimetableVersion && version != TimetableVersionOld) {
        load.Error = "The simulator (version " + std::to_string(TimetableVersion) +
                     ") cannot read this version of timetable data (version " +
                     std::to_string(version) + ")";
        sim.Dialog().ShowError(load.Error);
        return false;
    }
    if (version == TimetableVersionOld) {
        sim.Dialog().ShowInformation(
            "The timetable you are loading is version 1 whereas the software is version 2. It "
            "can still be loaded, but note that it will be saved as version 2.");
    }
    const bool withCategories = magic == TimetableMagic;
    if (!Guarded(load, [&] {
            r.ReadString();  // the area the file was made for
            load.Name = r.ReadString();
            load.Description = r.ReadString();
            load.StartTime = r.ReadInteger();
            load.FinishTime = r.ReadInteger();
            load.HasHeader = true;
        })) {
        return false;
    }
    if (withCategories && !ReadCategorySection(r, sim, load)) return false;
    return ReadTimetableSection(r, sim, false, withCategories, load);
}

bool LoadTimetableBytes(Sim& sim, const std::vector<std::uint8_t>& bytes, std::string* error) {
    TimetableLoad load;
    if (!ReadTimetableFile(sim, bytes, load)) {
        if (load.RecordFailed) sim.Messages().PostErrorLine("Error reading from file");
        if (error) *error = load.Error;
        return false;
    }
    CommitTimetableLoad(sim, load);
    return true;
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool LoadTimetableFile(Sim& sim, const std::string& path, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    return LoadTimetableBytes(sim, bytes, error);
}

bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path temp = target;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}

bool SaveTimetableFile(Sim& sim, const std::string& path) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = TimetableFileBytes(sim);
    } catch (const WriteError&) {
        sim.Messages().PostErrorLine("Error writing to file");
        return false;
    }
    if (!WriteFileReplacing(path, bytes)) return false;
    sim.Timetable.Modified = false;
    return true;
}

bool ReadTimetableHeaderBytes(const std::vector<std::uint8_t>& bytes, TTimetableHeader& header) {
    try {
        ValueReader r(bytes);
        const std::string magic = r.ReadString();
        if (magic != TimetableMagic && magic != TimetableMagicOld) return false;
        const std::int32_t version = r.ReadInteger();
        if (version != TimetableVersion && version != TimetableVersionOld) return false;
        r.ReadString();  // the area
        TTimetableHeader h;
        h.Name = r.ReadString();
        h.Description = r.ReadString();
        h.StartTime = r.ReadInteger();
        header = std::move(h);
        return true;
    } catch (const ReadError&) {
        return false;
    }
}

bool ReadTimetableHeader(const std::string& path, TTimetableHeader& header) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) return false;
    return ReadTimetableHeaderBytes(bytes, header);
}

}  // namespace kestra
