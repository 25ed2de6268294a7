#include "display/options.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "fakes/fakes.h"
#include "display/palette.h"

namespace kestra {
namespace {

using test::TestSim;

class OptionsTest : public ::testing::Test {
  protected:
    Options& O() { return t->Options(); }
    std::string Stored(const std::string& name) {
        return t.settings.Read(name).value_or("<missing>");
    }
    TestSim t;
};

TEST_F(OptionsTest, EmptyStoreGivesDefaults) {
    t->MajorCycleInterval = 40;
    t->Messages().Options[6].Disabled = true;
    LoadOptions(*t);
    EXPECT_EQ(t->MajorCycleInterval, 250);  // twice real time
    EXPECT_TRUE(O().NoSignalPopupMenu);     // right click cancels routes
    for (bool on : O().ARS) EXPECT_TRUE(on);
    EXPECT_TRUE(O().ACI);
    EXPECT_TRUE(O().ShowAutos);
    EXPECT_FALSE(O().ShowTrackBreaks);
    EXPECT_FALSE(O().ShowPoints);
    EXPECT_FALSE(O().ShowShunts);
    EXPECT_TRUE(O().MousePageFlip);
    EXPECT_EQ(O().BERMode, 0);
    EXPECT_EQ(O().LocationReporting, 2);
    EXPECT_EQ(O().ARSClickMode, 0);
    EXPECT_EQ(O().LastIPAddress, "");
    const auto& d = DefaultMessageOptions();
    for (int i = 0; i < EventTypeCount; ++i) {
        const TMessageOption& r = t->Messages().Options[i];
        EXPECT_EQ(r.Colour, d[i].Colour) << i;
        EXPECT_EQ(r.Popup, d[i].Popup) << i;
        EXPECT_EQ(r.Sound, d[i].Sound) << i;
        EXPECT_FALSE(r.Disabled) << i;
        EXPECT_EQ(r.SoundFilename, "") << i;
    }
}

TEST_F(OptionsTest, SaveThenLoadRestoresEverySetting) {
    t->MajorCycleInterval = 75;
    O().ShowTrackBreaks = true;
    O().ShowAutos = false;
    O().ShowPoints = true;
    O().ShowShunts = true;
    O().BERMode = 1;
    O().MousePageFlip = false;
    O().NoSignalPopupMenu = false;
    O().LocationReporting = 3;
    O().ARS[4] = false;
    O().ARS[10] = false;
    O().ACI = false;
    O().ARSClickMode = 2;
    O().LastIPAddress = "192.168.1.20";
    auto& r = t->Messages().Options;
    r[3].Colour = RGBHex(0x123456);
    r[3].Popup = false;
    r[7].Sound = true;
    r[7].SoundFilename = "/tmp/bell.wav";
    r[13].Disabled = true;
    SaveOptions(*t);

    TestSim other;
    other.settings = t.settings;
    LoadOptions(*other);
    const Options& o = other->Options();
    EXPECT_EQ(other->MajorCycleInterval, 75);
    EXPECT_TRUE(o.ShowTrackBreaks);
    EXPECT_FALSE(o.ShowAutos);
    EXPECT_TRUE(o.ShowPoints);
    EXPECT_TRUE(o.ShowShunts);
    EXPECT_EQ(o.BERMode, 1);
    EXPECT_FALSE(o.MousePageFlip);
    EXPECT_FALSE(o.NoSignalPopupMenu);
    EXPECT_EQ(o.LocationReporting, 3);
    EXPECT_EQ(o.ARS, O().ARS);
    EXPECT_FALSE(o.ACI);
    EXPECT_EQ(o.ARSClickMode, 2);
    EXPECT_EQ(o.LastIPAddress, "192.168.1.20");
    const auto& r2 = other->Messages().Options;
    EXPECT_EQ(r2[3].Colour, RGBHex(0x123456));
    EXPECT_FALSE(r2[3].Popup);
    EXPECT_TRUE(r2[7].Sound);
    EXPECT_EQ(r2[7].SoundFilename, "/tmp/bell.wav");
    EXPECT_TRUE(r2[13].Disabled);
}

TEST_F(OptionsTest, SaveWritesEveryNamedValueInOrder) {
    SaveOptions(*t);
    const auto& v = t.settings.Values;
    ASSERT_EQ(v.size(), 14u * 5 + 10 + 11 + 2);
    EXPECT_EQ(v[0].first, "Colour0");
    EXPECT_EQ(v[4].first, "SoundFilename0");
    EXPECT_EQ(v[69].first, "SoundFilename13");
    const char* rest[] = {
        "Speed",         "ShowAutos",         "ShowPoints", "ShowShunts",        "ShowTrackBreaks",
        "MousePageFlip", "NoSignalPopupMenu", "BERMode",    "LocationReporting", "ARSClickMode"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(v[70 + i].first, rest[i]);
    EXPECT_EQ(v[80].first, "ARS0");
    EXPECT_EQ(v[90].first, "ARS10");
    EXPECT_EQ(v[91].first, "ACI");
    EXPECT_EQ(v[92].first, "LastIPAddress");
    EXPECT_EQ(Stored("Colour0"), std::to_string(RGBHex(0xFF0000)));
}

// Values of the wrong kind or outside what the dialog can set fall back to defaults.
TEST_F(OptionsTest, MalformedValuesGiveDefaults) {
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"Speed", "-5"},
        {"Speed", "0"},
        {"Speed", "fast"},
        {"Speed", "100000"},
        {"ShowAutos", "yes"},
        {"BERMode", "7"},
        {"LocationReporting", "-1"},
        {"ARSClickMode", "3"},
        {"ARS5", ""},
        {"Colour0", "-16777201"},
        {"Colour0", "red"},
        {"Popup1", "2"},
    };
    for (const Case& c : cases) {
        TestSim fresh;
        fresh.settings.Write(c.name, c.text);
        LoadOptions(*fresh);
        EXPECT_EQ(fresh->MajorCycleInterval, 250) << c.name << "=" << c.text;
        EXPECT_TRUE(fresh->Options().ShowAutos) << c.name;
        EXPECT_EQ(fresh->Options().BERMode, 0) << c.name;
        EXPECT_EQ(fresh->Options().LocationReporting, 2) << c.name;
        EXPECT_EQ(fresh->Options().ARSClickMode, 0) << c.name;
        EXPECT_TRUE(fresh->Options().ARS[5]) << c.name;
        EXPECT_EQ(fresh->Messages().Options[0].Colour, ClRed) << c.name;
        EXPECT_FALSE(fresh->Messages().Options[1].Popup) << c.name;
    }
}

TEST_F(OptionsTest, TypeThatCannotBeDisabledIgnoresStoredDisable) {
    t.settings.Write("Disabled0", "true");  // trackside failure
    t.settings.Write("Disabled6", "true");  // location report, may be switched off
    LoadOptions(*t);
    EXPECT_FALSE(t->Messages().Options[0].Disabled);
    EXPECT_TRUE(t->Messages().Options[6].Disabled);
}

class DelayCounter : public EntryDelayGenerator {
  public:
    void GenerateDelays() override { ++calls; }
    int calls = 0;
};

class OptionsFormTest : public OptionsTest {
  protected:
    OptionsFormTest() { t->EntryDelays = &delays; }
    DelayCounter delays;
};

TEST_F(OptionsFormTest, ShowLoadsControlsFromSettings) {
    t->MajorCycleInterval = 500;
    O().PointsFailureChance = 0.0025f;
    O().SignalFailureChance = 0.001f;
    O().TrackFailureChance = 0.0025f;
    O().MaxFailures = 2;
    O().DelayProbability = 0.15f;
    O().DelayAmount = 1.25f;
    const OptionsFormValues f = OptionsToForm(*t);
    EXPECT_EQ(f.SpeedPosition, 0);
    EXPECT_EQ(f.PointsFailurePosition, 25);
    EXPECT_EQ(f.SignalFailurePosition, 10);
    EXPECT_EQ(f.TrackFailurePosition, 25);
    EXPECT_EQ(f.MaxFailures, 2);
    EXPECT_EQ(f.DelayProbabilityPosition, 150);
    EXPECT_EQ(f.DelayAmountPosition, 313);  // 312.5 to the nearest step
}

TEST_F(OptionsFormTest, OkStoresConvertedValuesAndSaves) {
    OptionsFormValues f = OptionsToForm(*t);
    f.SpeedPosition = 950;
    f.ShowShunts = true;
    f.PointsFailurePosition = 40;
    f.MaxFailures = 3;
    f.DelayProbabilityPosition = 500;
    f.DelayAmountPosition = 500;
    EXPECT_TRUE(ApplyOptionsForm(*t, f));
    EXPECT_EQ(t->MajorCycleInterval, 25);
    EXPECT_TRUE(O().ShowShunts);
    EXPECT_FLOAT_EQ(O().PointsFailureChance, 0.004f);
    EXPECT_EQ(O().MaxFailures, 3);
    EXPECT_FLOAT_EQ(O().DelayProbability, 0.5f);
    EXPECT_FLOAT_EQ(O().DelayAmount, 2.0f);
    EXPECT_EQ(delays.calls, 1);
    EXPECT_EQ(Stored("Speed"), "25");
    EXPECT_EQ(Stored("ShowShunts"), "true");
    // The failure and delay settings belong to this simulation only.
    EXPECT_EQ(Stored("MaxFailures"), "<missing>");
}

TEST_F(OptionsFormTest, OkWithUntouchedBarsKeepsExactValuesAndDelays) {
    O().DelayAmount = 1.25f;  // as a scenario sets it: not a whole bar step
    O().DelayProbability = 0.15f;
    O().TrackFailureChance = 0.00255f;
    t->MajorCycleInterval = 333;
    EXPECT_FALSE(ApplyOptionsForm(*t, OptionsToForm(*t)));
    EXPECT_EQ(delays.calls, 0);
    EXPECT_EQ(O().DelayAmount, 1.25f);
    EXPECT_EQ(O().DelayProbability, 0.15f);
    EXPECT_EQ(O().TrackFailureChance, 0.00255f);
    EXPECT_EQ(t->MajorCycleInterval, 333);
}

TEST_F(OptionsFormTest, ChangingOnlyProbabilityRedrawsDelays) {
    OptionsFormValues f = OptionsToForm(*t);
    f.DelayProbabilityPosition = 1;
    EXPECT_TRUE(ApplyOptionsForm(*t, f));
    EXPECT_EQ(delays.calls, 1);
    EXPECT_FLOAT_EQ(O().DelayAmount, 1.0f);
}

}  // namespace
}  // namespace kestra
