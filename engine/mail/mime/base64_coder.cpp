#include "mime/base64_coder.h"

#include <cstring>
#include <string>

namespace mail {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kNotBase64 = 254;
constexpr uint8_t kPad = 255;
constexpr size_t kBufferStep = 4096;

struct DecodingTable {
    uint8_t values[256];
    constexpr DecodingTable() : values() {
        for (auto& v : values)
            v = kNotBase64;
        for (int i = 0; i < 64; ++i) {
            auto c = static_cast<uint8_t>(kAlphabet[i]);
            values[c] = static_cast<uint8_t>(i);
            values[static_cast<uint8_t>(c + 128)] = static_cast<uint8_t>(i);
        }
        values[static_cast<uint8_t>('=')] = kPad;
        values[static_cast<uint8_t>('=' + 128)] = kPad;
    }
};

// Built once, before any thread runs, and only read afterwards.
constexpr DecodingTable kDecodingTable;

// Allocates ((size / 4096) + 1) * 4096 bytes unless the buffer already holds `size` bytes and
// the terminating zero behind them; zeroes it.
void reserve(std::unique_ptr<char[]>& buffer, size_t& capacity, size_t& length, size_t size) {
    if (capacity <= size || !buffer) {
        buffer.reset();
        capacity = 0;
        size_t bytes = (size / kBufferStep + 1) * kBufferStep;
        buffer.reset(new char[bytes]);
        capacity = bytes;
    }
    std::memset(buffer.get(), 0, capacity);
    length = 0;
}

// Two alphabet characters for every 12-bit value: one lookup per half of a three-byte group.
struct PairTable {
    char pairs[4096][2];
    constexpr PairTable() : pairs() {
        for (int i = 0; i < 4096; ++i) {
            pairs[i][0] = kAlphabet[i >> 6];
            pairs[i][1] = kAlphabet[i & 63];
        }
    }
};
constexpr PairTable kPairTable;

inline void encodeThreeFast(const uint8_t* in, char* out) {
    uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, kPairTable.pairs[v >> 12], 2);
    std::memcpy(out + 2, kPairTable.pairs[v & 0xFFF], 2);
}

inline void encodeThree(const uint8_t* in, char* out) {
    uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    out[0] = kAlphabet[(v >> 18) & 63];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = kAlphabet[v & 63];
}

}  // namespace

void CBase64Coder::Encode(const char* text) {
    if (text)
        Encode(text, std::strlen(text));
}

bool CBase64Coder::OwnsBytes(const void* data) const {
    auto inside = [data](const std::unique_ptr<char[]>& buffer, size_t capacity) {
        auto* p = static_cast<const char*>(data);
        return buffer && p >= buffer.get() && p < buffer.get() + capacity;
    };
    return inside(decoded_, decodedCapacity_) || inside(encoded_, encodedCapacity_);
}

void CBase64Coder::Encode(const void* data, size_t length) {
    if (length > 0 && OwnsBytes(data)) {  // our own buffer is about to be cleared: copy first
        std::string copy(static_cast<const char*>(data), length);
        Encode(copy.data(), copy.size());
        return;
    }
    LoadDecoded(data, length);
    size_t needed = (length + 2) / 3 * 4;
    ReserveEncoded(needed > 2 * length ? needed : 2 * length);
    const auto* in = reinterpret_cast<const uint8_t*>(decoded_.get());
    char* out = encoded_.get();
    // Whole groups go through the same arithmetic as EncodeGroup, inline, for speed.
    size_t full = length / 3 * 3;
    for (size_t i = 0; i < full; i += 3, out += 4)
        encodeThree(in + i, out);
    if (size_t rest = length - full; rest > 0) {
        Group group;
        group.count = static_cast<uint8_t>(rest);
        std::memcpy(group.bytes, in + full, rest);
        EncodeGroup(group, out);
        out += 4;
    }
    encodedLength_ = static_cast<size_t>(out - encoded_.get());
}

void CBase64Coder::Decode(const char* text) {
    if (text)
        Decode(text, std::strlen(text));
}

void CBase64Coder::Decode(const void* data, size_t length) {
    if (length > 0 && OwnsBytes(data)) {
        std::string copy(static_cast<const char*>(data), length);
        Decode(copy.data(), copy.size());
        return;
    }
    LoadEncoded(data, length);
    ReserveDecoded(encodedLength_);
    const auto* in = reinterpret_cast<const uint8_t*>(encoded_.get());
    auto* out = reinterpret_cast<uint8_t*>(decoded_.get());
    size_t full = encodedLength_ / 4 * 4;
    Group group;
    for (size_t i = 0; i < full; i += 4) {
        group.count = 4;
        std::memcpy(group.bytes, in + i, 4);
        DecodeGroup(group, out + decodedLength_);
        decodedLength_ += 3;
    }
    if (size_t rest = encodedLength_ - full; rest > 0) {
        group = Group{};
        group.count = static_cast<uint8_t>(rest);
        std::memcpy(group.bytes, in + full, rest);
        uint8_t bytes[3];
        DecodeGroup(group, bytes);
        std::memcpy(out + decodedLength_, bytes, rest);
        decodedLength_ += rest;
    }
}

const char* CBase64Coder::DecodedData() const {
    return decoded_ ? decoded_.get() : "";
}

const char* CBase64Coder::EncodedData() const {
    return encoded_ ? encoded_.get() : "";
}

void CBase64Coder::ReserveEncoded(size_t size) {
    reserve(encoded_, encodedCapacity_, encodedLength_, size);
}

void CBase64Coder::ReserveDecoded(size_t size) {
    reserve(decoded_, decodedCapacity_, decodedLength_, size);
}

void CBase64Coder::LoadEncoded(const void* data, size_t length) {
    ReserveEncoded(length);
    const auto* in = static_cast<const uint8_t*>(data);
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!IsWhitespace(in[i]))
            encoded_[n++] = static_cast<char>(in[i]);
    }
    encodedLength_ = n;
}

void CBase64Coder::LoadDecoded(const void* data, size_t length) {
    ReserveDecoded(length);
    if (length > 0)
        std::memcpy(decoded_.get(), data, length);
    decodedLength_ = length;
}

void CBase64Coder::EncodeGroup(const Group& group, char* out) const {
    uint8_t values[4];
    SplitGroup(group.bytes, values);
    for (int i = 0; i < 4; ++i)
        out[i] = kAlphabet[values[i]];
    if (group.count == 1)
        out[2] = '=';
    if (group.count <= 2)
        out[3] = '=';
}

void CBase64Coder::DecodeGroup(const Group& group, uint8_t* out) const {
    // A pad counts as 0 in the last two places of a whole group and anywhere in a partial one;
    // other characters outside the alphabet enter the arithmetic with their table value.
    uint8_t values[4] = {0, 0, 0, 0};
    for (int i = 0; i < group.count && i < 4; ++i) {
        uint8_t v = kDecodingTable.values[group.bytes[i]];
        bool padCountsZero = group.count < 4 || i >= 2;
        values[i] = (v == kPad && padCountsZero) ? 0 : v;
    }
    JoinGroup(values, out);
}

void CBase64Coder::SplitGroup(const uint8_t* bytes, uint8_t* values) const {
    values[0] = static_cast<uint8_t>(bytes[0] >> 2);
    values[1] = static_cast<uint8_t>(((bytes[0] & 0x03) << 4) | (bytes[1] >> 4));
    values[2] = static_cast<uint8_t>(((bytes[1] & 0x0F) << 2) | (bytes[2] >> 6));
    values[3] = static_cast<uint8_t>(bytes[2] & 0x3F);
}

void CBase64Coder::JoinGroup(const uint8_t* values, uint8_t* bytes) const {
    bytes[0] = static_cast<uint8_t>((values[0] << 2) | (values[1] >> 4));
    bytes[1] = static_cast<uint8_t>((values[1] << 4) | (values[2] >> 2));
    bytes[2] = static_cast<uint8_t>((values[2] << 6) | values[3]);
}

bool CBase64Coder::IsWhitespace(uint8_t byte) const {
    return (byte >= 7 && byte <= 13) || byte == 32;
}

void EncodeBase64Lines(std::string& output, const void* data, size_t length) {
    constexpr size_t kLineBytes = 57;  // 19 groups: 76 characters
    const auto* in = static_cast<const uint8_t*>(data);
    size_t encoded = (length + 2) / 3 * 4;
    size_t breaks = encoded == 0 ? 0 : (encoded - 1) / 76;
    output.clear();
    output.resize(encoded + 2 * breaks);
    char* out = output.data();
    size_t i = 0;
    for (; i + kLineBytes < length; i += kLineBytes) {  // every line but the last
        for (size_t g = 0; g < kLineBytes; g += 3, out += 4)
            encodeThreeFast(in + i + g, out);
        *out++ = '\r';
        *out++ = '\n';
    }
    for (; i + 3 <= length; i += 3, out += 4)
        encodeThreeFast(in + i, out);
    if (size_t rest = length - i; rest > 0) {
        uint8_t last[3] = {0, 0, 0};
        std::memcpy(last, in + i, rest);
        encodeThree(last, out);
        out[3] = '=';
        if (rest == 1)
            out[2] = '=';
    }
}

}  // namespace mail
