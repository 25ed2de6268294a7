#include "panel/messages.h"

#include <cstdio>

#include "core/ascii_text.h"
#include "sim/sim.h"
#include "display/palette.h"

namespace kestra {

const std::array<TMessageOption, EventTypeCount>& DefaultMessageOptions() {
    static const std::array<TMessageOption, EventTypeCount> defaults = [] {
        const Colour magenta = ClMagenta;
        std::array<TMessageOption, EventTypeCount> d{{
            {ClRed, true, true, "Trackside equipment failure", false, false, ""},
            {ClYellow, false, false, "Train waiting at red signal", false, false, ""},
            {ClYellow, false, true, "Train still waiting at red signal", false, false, ""},
            {ClYellow, true, true, "Wrong route set for train", false, false, ""},
            {magenta, false, true, "ARS message", false, false, ""},
            {magenta, false, true, "ARS alarm", false, false, ""},
            {ClSilver, false, false, "Train location report", true, false, ""},
            {ClCyan, false, false, "General simulation message", false, false, ""},
            {ClWhite, false, false, "General telephone message", false, false, ""},
            {ClCyan, false, false, "General tips and hints", true, false, ""},
            {ClCyan, false, true, "Train entering system", true, false, ""},
            {ClCyan, false, true, "Train ready to start", true, false, ""},
            {ClWhite, true, true, "Train ready in siding", true, false, ""},
            {ClWhite, false, false, "Warning of delayed train entering the area", true, false, ""},
        }};
        return d;
    }();
    return defaults;
}

const char* StandardSoundFile(int type) {
    static constexpr const char* names[EventTypeCount] = {
        "failure.wav",  "waiting.wav",  "still_waiting.wav", "wrong_route.wav", "ars_message.wav",
        "ars_alarm.wav", "location.wav", "general.wav",       "ring.wav",        "tips.wav",
        "entering.wav", "ready.wav",    "siding.wav",        "delayed.wav",
    };
    return type >= 0 && type < EventTypeCount ? names[type] : "";
}

Messages::Messages(Sim& sim) : Options(DefaultMessageOptions()), sim_(sim) {}

void Messages::PushLine(const std::string& text, kestra::Colour colour) {
    MessageLine.push_back({AsciiUpper(text), colour});
    while (MessageLine.size() > 4) MessageLine.pop_front();
    DrawMessageLine();
}

namespace {

std::string MessagePayload(const std::string& text, int type) {
    char head[8];
    std::snprintf(head, sizeof head, "MA%02X", static_cast<unsigned>(type) & 0xFF);
    return head + text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void Messages::PostEventMessage(const std::string& text, int type) {
    if (type < 0 || type >= EventTypeCount) type = EvGeneral;
    if (Requester) {
        Requester->Reply(MessagePayload(text, type));
        return;
    }
    const TMessageOption& opt = Options[type];
    if (opt.Disabled) return;
    PushLine(text, opt.Colour);
    if (LineObserver) LineObserver(MessageLine.back().Text, type);
    MessageHistory.push_back({text, opt.Colour});
    while (MessageHistory.size() > 15) MessageHistory.pop_front();
    sim_.Display().DrawMessageHistory();
    if (opt.Sound && !opt.SoundFilename.empty()) sim_.Audio().PlayFile(opt.SoundFilename);
    if (opt.Popup) {
        sim_.PauseSimulation();
        sim_.Dialog().ShowInformation(text);
        sim_.ResumeSimulation();
    }
}

void Messages::PostErrorLine(const std::string& text) {
    PushLine(text, ClRed);
    if (LineObserver) LineObserver(MessageLine.back().Text, -1);
    sim_.Display().DrawMessageHistory();
}

void Messages::BroadcastEventMessage(const std::string& text, int type) {
    sim_.Broadcast(MessagePayload(text, type));
}

void Messages::HandleClientMessage(std::string_view payload) {
    if (payload.size() < 4 || payload.substr(0, 2) != "MA") return;
    const int hi = HexValue(payload[2]);
    const int lo = HexValue(payload[3]);
    if (hi < 0 || lo < 0) return;
    PostEventMessage(std::string(payload.substr(4)), hi * 16 + lo);
}

void Messages::ClearMessages() {
    MessageLine.clear();
    MessageHistory.clear();
}

void Messages::DrawMessageLine() {
    if (sim_.Display().CurrentScreen < 1) return;
    const int first = 4 - static_cast<int>(MessageLine.size());
    for (int row = 0; row < 4; ++row) {
        char buf[64];
        const int i = row - first;
        const char* text = i >= 0 ? MessageLine[i].Text.c_str() : "";
        std::snprintf(buf, sizeof buf, "%60.60s", text);
        const kestra::Colour fg = i >= 0 ? MessageLine[i].Colour : ClSilver;
        sim_.Display().DrawStatusText(67, 44 + row, ClDarkGrey, fg, buf);
    }
}

}  // namespace kestra
