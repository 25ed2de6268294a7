#include "core/value_stream.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kestra {

void DoubleToExtended(double value, std::uint8_t out[10]) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int exp11 = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);

    std::uint16_t exp15 = 0;
    std::uint64_t mantissa = 0;
    if (exp11 == 0x7FF) {
        // Infinity or NaN: all-ones exponent, integer bit set.
        exp15 = 0x7FFF;
        mantissa = (std::uint64_t{1} << 63) | (frac << 11);
    } else if (exp11 == 0) {
        if (frac != 0) {
            // Subnormal double: normalise, the extended exponent has room for it.
            int shift = 0;
            while ((frac & (std::uint64_t{1} << 52)) == 0) {
                frac <<= 1;
                ++shift;
            }
            exp15 = static_cast<std::uint16_t>(1 - 1023 - shift + 16383);
            mantissa = frac << 11;
        }
    } else {
        exp15 = static_cast<std::uint16_t>(exp11 - 1023 + 16383);
        mantissa = (std::uint64_t{1} << 63) | (frac << 11);
    }
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    const std::uint16_t top = static_cast<std::uint16_t>(exp15 | (negative ? 0x8000 : 0));
    out[8] = static_cast<std::uint8_t>(top & 0xFF);
    out[9] = static_cast<std::uint8_t>(top >> 8);
}

double ExtendedToDouble(const std::uint8_t in[10]) {
    std::uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    const std::uint16_t top = static_cast<std::uint16_t>(in[8] | (in[9] << 8));
    const bool negative = (top & 0x8000) != 0;
    const int exp15 = top & 0x7FFF;
    double result;
    if (exp15 == 0x7FFF) {
        const bool nan = (mantissa & ~(std::uint64_t{1} << 63)) != 0;
        result = nan ? std::numeric_limits<double>::quiet_NaN()
                     : std::numeric_limits<double>::infinity();
    } else if (mantissa == 0) {
        result = 0.0;
    } else {
        // value = mantissa * 2^(exp - 16383 - 63); ldexp rounds once, to nearest.
        // Split the mantissa so that no precision is lost before the scaling.
        const double hi = static_cast<double>(mantissa >> 11);
        const double lo = static_cast<double>(mantissa & 0x7FF);
        const int e = (exp15 == 0 ? 1 : exp15) - 16383 - 63;
        // hi * 2^11 + lo is exact only in extended arithmetic; do it with long double
        // where available and fall back to the split sum otherwise.
        const long double full = static_cast<long double>(mantissa);
        if (std::numeric_limits<long double>::digits >= 64) {
            result = static_cast<double>(std::ldexp(full, e));
        } else {
            result = std::ldexp(hi, e + 11) + std::ldexp(lo, e);
        }
    }
    return negative ? -result : result;
}

void ValueWriter::PutLE(std::uint32_t v, int count) {
    for (int i = 0; i < count; ++i) Put(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ValueWriter::WriteInteger(std::int32_t value) {
    if (value >= -128 && value <= 127) {
        Put(TagInt8);
        PutLE(static_cast<std::uint32_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
        Put(TagInt16);
        PutLE(static_cast<std::uint32_t>(value), 2);
    } else {
        Put(TagInt32);
        PutLE(static_cast<std::uint32_t>(value), 4);
    }
}

void ValueWriter::WriteString(std::string_view value) {
    if (value.size() <= 255) {
        Put(TagShortString);
        Put(static_cast<std::uint8_t>(value.size()));
    } else {
        if (value.size() > 0x7FFFFFFF) throw WriteError("string too long to save");
        Put(TagLongString);
        PutLE(static_cast<std::uint32_t>(value.size()), 4);
    }
    bytes_.insert(bytes_.end(), value.begin(), value.end());
}

void ValueWriter::WriteBoolean(bool value) { Put(value ? TagTrue : TagFalse); }

void ValueWriter::WriteFloat(double value) {
    Put(TagFloat);
    std::uint8_t ext[10];
    DoubleToExtended(value, ext);
    bytes_.insert(bytes_.end(), ext, ext + 10);
}

void ValueWriter::WriteSingle(float value) {
    Put(TagSingle);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutLE(bits, 4);
}

std::uint8_t ValueReader::Take() {
    if (pos_ >= size_) throw ReadError("read past the end of the data");
    return data_[pos_++];
}

std::uint32_t ValueReader::TakeLE(int count) {
    if (Remaining() < static_cast<std::size_t>(count)) {
        pos_ = size_;
        throw ReadError("read past the end of the data");
    }
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) v |= static_cast<std::uint32_t>(data_[pos_++]) << (8 * i);
    return v;
}

std::int32_t ValueReader::IntegerPayload(std::uint8_t tag) {
    switch (tag) {
        case TagInt8:
            return static_cast<std::int8_t>(TakeLE(1));
        case TagInt16:
            return static_cast<std::int16_t>(TakeLE(2));
        case TagInt32:
            return static_cast<std::int32_t>(TakeLE(4));
        default:
            throw ReadError("unexpected value tag " + std::to_string(tag) + " for an integer");
    }
}

std::int32_t ValueReader::ReadInteger() { return IntegerPayload(Take()); }

std::string ValueReader::ReadString() {
    const std::uint8_t tag = Take();
    std::uint32_t length;
    if (tag == TagShortString) {
        length = TakeLE(1);
    } else if (tag == TagLongString) {
        length = TakeLE(4);
    } else {
        throw ReadError("unexpected value tag " + std::to_string(tag) + " for a string");
    }
    if (length > Remaining()) {
        pos_ = size_;
        throw ReadError("string length beyond the end of the data");
    }
    std::string s(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length;
    return s;
}

bool ValueReader::ReadBoolean() { return Take() == TagTrue; }

double ValueReader::ReadFloat() {
    const std::uint8_t tag = Take();
    if (tag == TagFloat) {
        if (Remaining() < 10) {
            pos_ = size_;
            throw ReadError("read past the end of the data");
        }
        const double v = ExtendedToDouble(data_ + pos_);
        pos_ += 10;
        return v;
    }
    return static_cast<double>(IntegerPayload(tag));
}

float ValueReader::ReadSingle() {
    if (pos_ < size_ && data_[pos_] == TagSingle) {
        ++pos_;
        const std::uint32_t bits = TakeLE(4);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    return static_cast<float>(ReadFloat());
}

}  // namespace kestra
