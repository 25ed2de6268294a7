#pragma once
// Typed value streams: the encoding shared by saved simulations and timetable files.
// Every value is a one-byte tag followed by a little-endian payload.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestra {

// Value tags as they stand in a stream.
enum ValueTag : std::uint8_t {
    TagInt8 = 2,
    TagInt16 = 3,
    TagInt32 = 4,
    TagFloat = 5,
    TagShortString = 6,
    TagFalse = 8,
    TagTrue = 9,
    TagLongString = 12,
    TagSingle = 15,
};

// Raised by ValueReader on an unexpected tag or a read past the end.
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by a writer whose sink failed.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Conversions between IEEE double and the 10-byte x87 extended format.
void DoubleToExtended(double value, std::uint8_t out[10]);
double ExtendedToDouble(const std::uint8_t in[10]);

// Appends tagged values to an in-memory byte buffer.
class ValueWriter {
public:
    void WriteInteger(std::int32_t value);
    void WriteString(std::string_view value);
    void WriteBoolean(bool value);
    void WriteFloat(double value);
    // A 4-byte single-precision value (tag 15).
    void WriteSingle(float value);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> TakeBytes() { return std::move(bytes_); }
    void Clear() { bytes_.clear(); }

private:
    void Put(std::uint8_t b) { bytes_.push_back(b); }
    void PutLE(std::uint32_t v, int count);
    std::vector<std::uint8_t> bytes_;
};

// Reads tagged values from a byte range it does not own.
class ValueReader {
public:
    ValueReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit ValueReader(const std::vector<std::uint8_t>& bytes)
        : data_(bytes.data()), size_(bytes.size()) {}

    // Any integer tag; anything else is a ReadError.
    std::int32_t ReadInteger();
    // Either string tag; a length beyond what remains is a ReadError, never an allocation.
    std::string ReadString();
    // True exactly when the tag is 9; any other tag reads as false.
    bool ReadBoolean();
    // Tag 5, or any integer form converted to a float.
    double ReadFloat();
    // Tag 15 with 4 bytes, or what ReadFloat accepts, narrowed to single precision.
    float ReadSingle();

    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return size_ - pos_; }

private:
    std::uint8_t Take();
    std::uint32_t TakeLE(int count);
    std::int32_t IntegerPayload(std::uint8_t tag);
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace kestra
