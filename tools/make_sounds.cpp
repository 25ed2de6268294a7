// Writes the program's sounds: one short WAV file for each message event type and the
// telephone ring, synthesised here from plain tones (16-bit PCM, mono, 22 050 Hz), so
// that no recording from anywhere else is needed.
//
//   kestra_make_sounds FOLDER    writes FOLDER/<name>.wav for every event type

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "panel/messages.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;

// A tone with a short attack and release, so that it starts and ends without a click.
void Tone(Samples& out, double freq, double seconds, double amp, double freq2 = 0) {
    const int n = static_cast<int>(seconds * kRate);
    const int edge = std::min(n / 4, kRate / 100);
    for (int i = 0; i < n; ++i) {
        double env = 1.0;
        if (i < edge) env = static_cast<double>(i) / edge;
        if (n - i < edge) env = static_cast<double>(n - i) / edge;
        const double t = static_cast<double>(i) / kRate;
        double v = std::sin(2 * kPi * freq * t);
        if (freq2 > 0) v = 0.5 * (v + std::sin(2 * kPi * freq2 * t));
        out.push_back(amp * env * v);
    }
}

// A bell-like strike: a tone dying away, with a quieter overtone.
void Chime(Samples& out, double freq, double seconds, double amp) {
    const int n = static_cast<int>(seconds * kRate);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double env = std::exp(-4.0 * t / seconds) * std::min(1.0, i / 40.0);
        const double v = std::sin(2 * kPi * freq * t) + 0.3 * std::sin(2 * kPi * 2.76 * freq * t);
        out.push_back(amp * env * v / 1.3);
    }
}

void Silence(Samples& out, double seconds) {
    out.insert(out.end(), static_cast<std::size_t>(seconds * kRate), 0.0);
}

// The telephone bell: two bursts of two tones warbled twenty times a second.
void Ring(Samples& out) {
    for (int burst = 0; burst < 2; ++burst) {
        const int n = static_cast<int>(0.4 * kRate);
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double warble = std::sin(2 * kPi * 20 * t) > 0 ? 1.0 : 0.55;
            const double edge = std::min({1.0, i / 60.0, (n - i) / 60.0});
            out.push_back(0.45 * edge * warble *
                          (std::sin(2 * kPi * 400 * t) + std::sin(2 * kPi * 450 * t)) / 2);
        }
        Silence(out, 0.2);
    }
}

Samples Make(int type) {
    Samples s;
    switch (type) {
        case kestra::EvTracksideFailure:  // a falling warning
            Tone(s, 880, 0.18, 0.5);
            Tone(s, 660, 0.18, 0.5);
            Tone(s, 440, 0.30, 0.5);
            break;
        case kestra::EvWaitingAtRed:
            Chime(s, 587, 0.5, 0.5);
            break;
        case kestra::EvStillWaitingAtRed:
            Chime(s, 587, 0.3, 0.5);
            Chime(s, 587, 0.5, 0.5);
            break;
        case kestra::EvWrongRoute:
            Tone(s, 330, 0.15, 0.5, 349);
            Silence(s, 0.05);
            Tone(s, 330, 0.25, 0.5, 349);
            break;
        case kestra::EvARSMessage:
            Chime(s, 784, 0.4, 0.4);
            break;
        case kestra::EvARSAlarm:
            for (int i = 0; i < 3; ++i) {
                Tone(s, 988, 0.1, 0.5);
                Silence(s, 0.05);
            }
            break;
        case kestra::EvLocationReport:
            Tone(s, 1046, 0.06, 0.3);
            break;
        case kestra::EvGeneral:
            Chime(s, 659, 0.35, 0.4);
            break;
        case kestra::EvTelephone:
            Ring(s);
            break;
        case kestra::EvTips:
            Chime(s, 880, 0.25, 0.35);
            Chime(s, 1175, 0.35, 0.35);
            break;
        case kestra::EvTrainEntering:
            Tone(s, 523, 0.12, 0.4);
            Tone(s, 659, 0.18, 0.4);
            break;
        case kestra::EvReadyToStart:
            Tone(s, 659, 0.12, 0.4);
            Tone(s, 784, 0.12, 0.4);
            Tone(s, 1046, 0.2, 0.4);
            break;
        case kestra::EvReadyInSiding:
            Chime(s, 523, 0.3, 0.45);
            Chime(s, 392, 0.45, 0.45);
            break;
        default:  // delayed train entering
            Tone(s, 440, 0.2, 0.4);
            Tone(s, 392, 0.3, 0.4);
            break;
    }
    return s;
}

void PutLE(std::ofstream& f, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool WriteWav(const std::string& path, const Samples& s) {
    std::ofstream f(path, std::ios::binary);
    if (!f) return false;
    const auto data = static_cast<std::uint32_t>(s.size() * 2);
    f.write("RIFF", 4);
    PutLE(f, 36 + data, 4);
    f.write("WAVEfmt ", 8);
    PutLE(f, 16, 4);
    PutLE(f, 1, 2);  // PCM
    PutLE(f, 1, 2);  // mono
    PutLE(f, kRate, 4);
    PutLE(f, kRate * 2, 4);
    PutLE(f, 2, 2);
    PutLE(f, 16, 2);
    f.write("data", 4);
    PutLE(f, data, 4);
    for (double v : s) {
        const long q = std::lround(std::max(-1.0, std::min(1.0, v)) * 32767);
        PutLE(f, static_cast<std::uint32_t>(static_cast<std::int16_t>(q)) & 0xFFFF, 2);
    }
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestra_make_sounds FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    for (int type = 0; type < kestra::EventTypeCount; ++type) {
        const std::string path = folder + "/" + kestra::StandardSoundFile(type);
        if (!WriteWav(path, Make(type))) {
            std::cerr << "cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
