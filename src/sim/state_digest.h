#pragma once
// A fingerprint of the whole simulation state: the saved game's bytes, hashed. Two runs with the
// same seed and the same inputs give the same digest; any difference in the state gives, in
// practice, a different one.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;

// The bytes the digest is taken over, for a test that wants to see what differs.
std::vector<std::uint8_t> StateRecord(Sim& sim);
// 64-bit FNV-1a of StateRecord, as 16 lower-case hexadecimal digits.
std::string StateDigest(Sim& sim);

}  // namespace kestra
