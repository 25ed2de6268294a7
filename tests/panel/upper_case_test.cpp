// Upper-casing on the panel changes the ASCII letters only, whatever C locale the
// process runs under: the panel font's codes from 0x80 up are glyphs of their own.

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <string>

#include "core/ascii_text.h"
#include "sim/sim.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "panel/commands.h"
#include "panel_font.h"

namespace kestra {
namespace {

using test::TestSim;

TEST(AsciiUpperTest, OnlyTheLettersAToZChange) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const char want = (b >= 'a' && b <= 'z') ? static_cast<char>(b - 'a' + 'A') : c;
        EXPECT_EQ(AsciiUpper(c), want) << "byte " << b;
    }
    EXPECT_EQ(AsciiUpper(std::string_view("Due 12\xBD caf\xE9 [x]")), "DUE 12\xBD CAF\xE9 [X]");
    EXPECT_EQ(AsciiUpper(std::string_view()), "");
}

// Holds the berth description a signal's menu interposes.
class RecordingBerth : public TSSIObject, public SignalBerthTarget {
  public:
    int BerthColumn() const override { return 0; }
    void InterposeDescription(const std::string& description) override { Shown = description; }
    void CancelDescription() override { Shown.clear(); }
    std::string Shown;
};

// Sets a C locale for the life of the object and puts "C" back afterwards.
class ScopedCLocale {
  public:
    // Tries single-byte locales in turn; Name() is empty when none is installed.
    ScopedCLocale() {
        static constexpr const char* candidates[] = {
            "fr_FR.ISO-8859-15",
            "fr_FR.ISO-8859-15@euro",
            "de_DE.ISO-8859-15",
            "en_GB.ISO-8859-15",
            "en_US.ISO-8859-15",
            "fr_FR.ISO-8859-1",
            "de_DE.ISO-8859-1",
            "en_GB.ISO-8859-1",
            "en_US.ISO-8859-1",
            "fr_FR",
            "de_DE",
            "en_GB",
            "en_US",
        };
        for (const char* name : candidates) {
            if (std::setlocale(LC_ALL, name) == nullptr) continue;
            // Only a locale whose toupper changes some byte from 0x80 up shows the fault.
            for (int b = 0x80; b < 0x100; ++b) {
                if (std::toupper(b) != b) {
                    name_ = name;
                    return;
                }
            }
        }
        std::setlocale(LC_ALL, "C");
    }
    ~ScopedCLocale() { std::setlocale(LC_ALL, "C"); }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
};

class PanelUpperCaseTest : public ::testing::Test {
  protected:
    PanelUpperCaseTest() {
        t->SimData.ScreenCount = 1;
        for (auto& o : t->Messages().Options) {
            o.Popup = false;
            o.Sound = false;
        }
    }
    // The codes from 0x80 up that the panel font draws, in lower-case ASCII company.
    static std::string DrawableHighBytes(const char* prefix) {
        std::string text = prefix;
        for (int b = 0x80; b < 0x100; ++b) {
            if (font::Normal.HasGlyph(static_cast<std::uint8_t>(b))) text += static_cast<char>(b);
        }
        return text;
    }
    static std::string HighBytes() { return DrawableHighBytes("half\xBD "); }
    static std::string HighBytesUpper() { return DrawableHighBytes("HALF\xBD "); }
    // The message line, the overview's history box and an interposed description.
    void ExpectHighBytesPassUnchanged() {
        t->PostEventMessage("due 12\xBD", EvGeneral);
        ASSERT_FALSE(t->Messages().MessageLine.empty());
        EXPECT_EQ(t->Messages().MessageLine.back().Text, "DUE 12\xBD");
        EXPECT_EQ(t.surface.At(126, 47).Code, 0xBD);
        t->PostEventMessage(HighBytes(), EvGeneral);
        EXPECT_EQ(t->Messages().MessageLine.back().Text, HighBytesUpper());
        EXPECT_EQ(t->Messages().MessageHistory.back().Text, HighBytes()) << "kept as posted";
        t->Display().SelectScreen(0);
        EXPECT_EQ(t.surface.RowText(29, 2, 7), "DUE 12\xBD");
        const std::string shown = HighBytesUpper();
        EXPECT_EQ(t.surface.RowText(30, 2, static_cast<int>(shown.size())), shown);

        test::RailwayBuilder b(*t);
        TSIG& s = b.Signal("S1");
        RecordingBerth berth;
        s.CachedBerth = &berth;
        t->Operator.SelectedSignal = &s;
        OperatorCommands cmd(*t);
        EXPECT_TRUE(cmd.SignalMenuInterposeTD("1a\xBD\xE9"));
        EXPECT_EQ(berth.Shown, "1A\xBD\xE9");
        // Every byte from 0x80 up, drawable or not: a description is not drawn here.
        std::string all;
        for (int b = 0x80; b < 0x100; ++b) all += static_cast<char>(b);
        EXPECT_TRUE(cmd.SignalMenuInterposeTD("x" + all));
        EXPECT_EQ(berth.Shown, "X" + all);
    }
    TestSim t;
};

TEST_F(PanelUpperCaseTest, HighBytesPassUnchangedInTheCLocale) {
    ExpectHighBytesPassUnchanged();
}

TEST_F(PanelUpperCaseTest, HighBytesPassUnchangedUnderASingleByteLocale) {
    ScopedCLocale locale;
    if (locale.Name().empty()) GTEST_SKIP() << "no single-byte locale is installed";
    SCOPED_TRACE("locale " + locale.Name());
    ExpectHighBytesPassUnchanged();
}

}  // namespace
}  // namespace kestra
