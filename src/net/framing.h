#pragma once
// Frames of the multiplayer protocol: STX, the payload with every control byte (SOH,
// STX, ESC) preceded by an ESC, then SOH. A whole frame, control bytes and escapes
// included, is at most MaxFrameBytes long, so a connection costs bounded memory
// whatever it sends.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/net_transport.h"

namespace kestra::net {

inline constexpr char FrameStart = 2;    // STX
inline constexpr char FrameEnd = 1;      // SOH
inline constexpr char FrameEscape = 27;  // ESC
// The longest frame, STX and SOH included.
inline constexpr std::size_t MaxFrameBytes = 128;
// The longest escaped payload that fits between STX and SOH.
inline constexpr std::size_t MaxWireBytes = MaxFrameBytes - 2;

// The frame of a payload, or nothing when it would be longer than MaxFrameBytes.
std::optional<std::string> Frame(std::string_view payload);
// How many payload bytes from the front of text fit in one frame after head (used to
// cut chat text, the one payload of unbounded length).
std::size_t FittingLength(std::string_view head, std::string_view text);

// One connection's receiving state: where it is in a frame and the payload so far.
struct TSocketEntry {
    std::uint8_t InFrame = 0;
    std::string Buffer;
    bool EscapePending = false;
    ConnectionId Socket = NoConnection;
    // Bytes of the present frame as they came, escapes included.
    std::size_t WireBytes = 0;
    // Frames dropped for length: a count for tests and diagnostics.
    std::uint32_t Dropped = 0;

    // Feeds received bytes, calling deliver(payload) for each whole frame; when deliver
    // returns false the rest of the bytes are dropped (the connection is going). deliver
    // must not feed this entry again. Bytes outside a frame are ignored; a frame that grows
    // past MaxFrameBytes is dropped, and the bytes up to the next STX with it.
    template <class F>
    void Feed(const char* data, std::size_t size, F&& deliver);

    void Restart() {
        Buffer.clear();
        EscapePending = false;
        WireBytes = 0;
    }
};

template <class F>
void TSocketEntry::Feed(const char* data, std::size_t size, F&& deliver) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (InFrame == 0) {
            if (c == FrameStart) {
                InFrame = 1;
                Restart();
            }
            continue;
        }
        if (!EscapePending && c == FrameEnd) {
            std::string payload;
            payload.swap(Buffer);
            InFrame = 0;
            Restart();
            if (!deliver(payload)) return;
            continue;
        }
        if (!EscapePending && c == FrameStart) {
            Restart();
            continue;
        }
        if (++WireBytes > MaxWireBytes) {
            ++Dropped;
            InFrame = 0;
            Restart();
            continue;
        }
        if (!EscapePending && c == FrameEscape) {
            EscapePending = true;
            continue;
        }
        EscapePending = false;
        Buffer.push_back(c);
    }
}

}  // namespace kestra::net
