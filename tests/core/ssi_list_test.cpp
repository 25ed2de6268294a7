#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ssi_object.h"

namespace kestra {
namespace {

// An object that records which operations reached it and answers as told.
class Probe : public TSSIObject {
  public:
    Probe(std::string id, std::vector<std::string>* log) : TSSIObject(std::move(id)), log_(log) {}
    bool CheckLeftClick(int, int) override { return Note("L", claims); }
    bool CheckRightClick(int, int) override { return Note("R", claims); }
    // Staging is logged; applying the staged record is logged separately, so a test
    // sees which records were applied.
    bool StageLoad(ValueReader&, LoadCommits& commits) override {
        if (ok) commits.Add([this] { Note("apply", true); });
        return Note("load", ok);
    }
    bool Save(ValueWriter&) override { return Note("save", ok); }
    void Reset() override {
        Note("reset", true);
        if (owner && clearOwnEntry) owner->SetItem(owner->IndexOf(this), nullptr);
    }
    bool claims = false;
    bool ok = true;
    bool clearOwnEntry = false;
    TSSIList* owner = nullptr;

  private:
    bool Note(const char* op, bool answer) {
        log_->push_back(ID + ":" + op);
        return answer;
    }
    std::vector<std::string>* log_;
};

class SSIListTest : public ::testing::Test {
  protected:
    std::vector<std::string> log;
    Probe a{"a", &log}, b{"b", &log}, c{"c", &log};
    TSSIList list;
};

TEST_F(SSIListTest, ClicksOnEmptyListAreUnclaimed) {
    EXPECT_FALSE(list.CheckLeftClick(1, 1));
    EXPECT_FALSE(list.CheckRightClick(1, 1));
}

TEST_F(SSIListTest, OnlyFirstClaimingObjectIsAsked) {
    list.AddObjectList({&a, &b, &c});
    b.claims = true;
    c.claims = true;
    EXPECT_TRUE(list.CheckLeftClick(3, 4));
    EXPECT_EQ(log, (std::vector<std::string>{"a:L", "b:L"}));
    log.clear();
    EXPECT_TRUE(list.CheckRightClick(3, 4));
    EXPECT_EQ(log, (std::vector<std::string>{"a:R", "b:R"}));
}

TEST_F(SSIListTest, LoadAndSaveStopAtFirstFailure) {
    std::vector<std::uint8_t> none;
    ValueReader reader(none);
    ValueWriter writer;
    EXPECT_TRUE(list.Load(reader));
    EXPECT_TRUE(list.Save(writer));

    list.AddObjectList({&a, &b, &c});
    b.ok = false;
    EXPECT_FALSE(list.Load(reader));
    // a's record was read but is never applied: the failed load changes nothing.
    EXPECT_EQ(log, (std::vector<std::string>{"a:load", "b:load"}));
    log.clear();
    EXPECT_FALSE(list.Save(writer));
    EXPECT_EQ(log, (std::vector<std::string>{"a:save", "b:save"}));
}

TEST_F(SSIListTest, LoadAppliesRecordsOnlyAfterAllAreRead) {
    std::vector<std::uint8_t> none;
    ValueReader reader(none);
    list.AddObjectList({&a, &b, &c});
    EXPECT_TRUE(list.Load(reader));
    EXPECT_EQ(log, (std::vector<std::string>{"a:load", "b:load", "c:load", "a:apply", "b:apply",
                                             "c:apply"}));
    // One object on its own: read, then applied.
    log.clear();
    EXPECT_TRUE(a.Load(reader));
    EXPECT_EQ(log, (std::vector<std::string>{"a:load", "a:apply"}));
    log.clear();
    a.ok = false;
    EXPECT_FALSE(a.Load(reader));
    EXPECT_EQ(log, (std::vector<std::string>{"a:load"}));
}

// An object whose record is one integer, to show read errors and counted records.
class Counter : public TSSIObject {
  public:
    bool Save(ValueWriter& w) override {
        w.WriteInteger(value);
        return true;
    }
    bool StageLoad(ValueReader& r, LoadCommits& commits) override {
        const std::int32_t v = r.ReadInteger();
        commits.Add([this, v] { value = v; });
        return true;
    }
    std::int32_t value = 0;
};

TEST(LoadStagingTest, ReadErrorPartWayAppliesNothing) {
    Counter x, y;
    x.value = 1;
    y.value = 2;
    TSSIList list;
    list.AddObjectList({&x, &y});
    std::vector<std::uint8_t> oneRecord{2, 50};  // x's record; y's is missing
    ValueReader r(oneRecord);
    EXPECT_FALSE(list.Load(r));
    EXPECT_EQ(x.value, 1);
    EXPECT_EQ(y.value, 2);
}

TEST(LoadStagingTest, ReferencesOutsideTheListAreNone) {
    TTypedList<Counter> counters;
    Counter& first = counters.Create();
    counters.Create();
    struct Case {
        std::int32_t index;
        Counter* expect;
    } cases[] = {{-1, nullptr}, {0, &first}, {1, counters.At(1)}, {2, nullptr}, {-2, nullptr}};
    for (const Case& c : cases) {
        ValueWriter w;
        w.WriteInteger(c.index);
        ValueReader r(w.Bytes());
        EXPECT_EQ(ReadReference(r, counters), c.expect) << c.index;
    }
}

TEST(LoadStagingTest, CountedRecordsRoundTripAndRefuseImpossibleCounts) {
    TTypedList<Counter> source;
    source.Create().value = 7;
    source.Create().value = -300;
    ValueWriter w;
    SaveCounted(w, source);
    EXPECT_EQ(w.Bytes(), (std::vector<std::uint8_t>{2, 2, 2, 7, 3, 0xD4, 0xFE}));
    auto make = [] { return std::make_unique<Counter>(); };
    std::vector<std::unique_ptr<Counter>> members;
    {
        ValueReader r(w.Bytes());
        ASSERT_TRUE(ReadCounted(r, 2, make, members));
        ASSERT_EQ(members.size(), 2u);
        EXPECT_EQ(members[0]->value, 7);
        EXPECT_EQ(members[1]->value, -300);
        EXPECT_TRUE(r.AtEnd());
    }
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* what;
    } bad[] = {
        {{2, 0xFF}, "negative count"},
        {{2, 3, 2, 1, 2, 2}, "three records in four bytes"},
        {{2, 2, 2, 1, 3, 0}, "second record cut"},
        {{2, 1, 6, 0}, "record of the wrong kind"},
    };
    for (const Case& c : bad) {
        ValueReader r(c.bytes);
        bool ok = true;
        try {
            ok = ReadCounted(r, 2, make, members);
        } catch (const ReadError&) {
            ok = false;
        }
        EXPECT_FALSE(ok) << c.what;
    }
}

TEST_F(SSIListTest, AddUniqueObjectRefusesObjectUnderAnotherKey) {
    EXPECT_EQ(list.AddUniqueObject("first", &a), 0);
    EXPECT_EQ(list.AddUniqueObject("second", &b), 1);
    EXPECT_EQ(list.AddUniqueObject("other", &a), -1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Key(0), "first");
    EXPECT_EQ(list.GetItem(1), &b);
}

TEST_F(SSIListTest, FindAndGetAtTheEdges) {
    list.AddObjectList({&a, &b, &a});
    EXPECT_EQ(list.FindNextObject(0, &a), 0);
    EXPECT_EQ(list.FindNextObject(1, &a), 2);
    EXPECT_EQ(list.FindNextObject(3, &a), -1);
    EXPECT_EQ(list.FindNextObject(99, &a), -1);
    EXPECT_EQ(list.FindPrevObject(1, &a), 0);
    EXPECT_EQ(list.FindPrevObject(2, &a), 2);
    EXPECT_EQ(list.FindPrevObject(-1, &a), -1);
    EXPECT_EQ(list.FindNextObject(0, &c), -1);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.GetItem(list.Count()), nullptr);
}

TEST_F(SSIListTest, ResetPacksEntriesClearedByTheirObjects) {
    list.AddObjectList({&a, &b, &c});
    b.owner = &list;
    b.clearOwnEntry = true;
    list.Reset();
    EXPECT_EQ(log, (std::vector<std::string>{"a:reset", "b:reset", "c:reset"}));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItem(0), &a);
    EXPECT_EQ(list.GetItem(1), &c);
}

TEST_F(SSIListTest, CopyToReplacesDestination) {
    TSSIList other;
    other.Add("x", &c);
    list.Add("k", &a);
    list.Add("", &b);
    list.CopyTo(other);
    ASSERT_EQ(other.Count(), 2);
    EXPECT_EQ(other.Key(0), "k");
    EXPECT_EQ(other.GetItem(1), &b);
}

// A class list owns its objects and finds them by identifier, not by (empty) key.
class Named : public TSSIObject {
  public:
    explicit Named(std::string id) : TSSIObject(std::move(id)) {}
};

TEST(TypedListTest, FindIDIsExactAndKeysMayBeEmpty) {
    TTypedList<Named> list;
    list.Create("T1");
    Named& t1b = list.Create("t1");
    list.SetItem(0, list.At(0));
    EXPECT_EQ(list.FindID("t1"), &t1b);
    EXPECT_EQ(list.FindID("T1"), list.At(0));
    EXPECT_EQ(list.FindID("T"), nullptr);
    list.Destroy(&t1b);
    list.Pack();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindID("t1"), nullptr);
}

TEST(FlagSetTest, BitIForElementI) {
    ValueWriter w;
    WriteFlagSet(w, {true, false, true, true});
    ValueReader r(w.Bytes());
    EXPECT_EQ(r.ReadInteger(), 13);
    ValueReader r2(w.Bytes());
    bool flags[4];
    ReadFlagSet(r2, flags, 4);
    EXPECT_TRUE(flags[0]);
    EXPECT_FALSE(flags[1]);
    EXPECT_TRUE(flags[2]);
    EXPECT_TRUE(flags[3]);
}

}  // namespace
}  // namespace kestra
