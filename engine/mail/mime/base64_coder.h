// Base64 (RFC 2045) encoder and decoder with two owned, reusable, zero-terminated buffers.
// Used for base64 part bodies and, by the SMTP client, for AUTH LOGIN prompts and answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mail {

class CBase64Coder {
  public:
    // Up to four bytes of a group and how many of them are meaningful.
    struct Group {
        uint8_t bytes[4] = {0, 0, 0, 0};
        uint8_t count = 0;
    };

    CBase64Coder() = default;
    CBase64Coder(const CBase64Coder&) = delete;
    CBase64Coder& operator=(const CBase64Coder&) = delete;
    virtual ~CBase64Coder() = default;

    // Encodes a zero-terminated text (nothing for null) or `length` bytes into EncodedData():
    // one line, no line breaks, padded with '='.
    virtual void Encode(const char* text);
    virtual void Encode(const void* data, size_t length);
    // Decodes into DecodedData(); white space (bytes 7 to 13 and blank) is skipped, characters
    // outside the alphabet are not rejected. Input of either call may be the coder's own
    // EncodedData() or DecodedData().
    virtual void Decode(const char* text);
    virtual void Decode(const void* data, size_t length);

    // Zero-terminated views of the buffers (an empty string before first use).
    virtual const char* DecodedData() const;
    virtual const char* EncodedData() const;
    size_t DecodedLength() const { return decodedLength_; }
    size_t EncodedLength() const { return encodedLength_; }

    // Make room for `size` bytes (grown in steps of 4096, plus the terminating zero), zero the
    // whole buffer and set its length to 0.
    virtual void ReserveEncoded(size_t size);
    virtual void ReserveDecoded(size_t size);
    // Fill a buffer: encoded input without its white space, decoded input as is.
    virtual void LoadEncoded(const void* data, size_t length);
    virtual void LoadDecoded(const void* data, size_t length);

    // One group: three bytes (count 1 to 3) to four characters, four values to three bytes.
    virtual void EncodeGroup(const Group& group, char* out) const;
    virtual void DecodeGroup(const Group& group, uint8_t* out) const;
    virtual void SplitGroup(const uint8_t* bytes, uint8_t* values) const;
    virtual void JoinGroup(const uint8_t* values, uint8_t* bytes) const;
    virtual bool IsWhitespace(uint8_t byte) const;

  private:
    // True when `data` points into one of the coder's own buffers (for instance the result of
    // the previous call, handed back in).
    bool OwnsBytes(const void* data) const;

    std::unique_ptr<char[]> decoded_;
    std::unique_ptr<char[]> encoded_;
    size_t decodedCapacity_ = 0;
    size_t encodedCapacity_ = 0;
    size_t decodedLength_ = 0;
    size_t encodedLength_ = 0;
};

// The text of CBase64Coder::Encode cut into lines of 76 characters joined by CR LF (what
// WrapLines makes of it, since base64 holds no break character), written in one pass.
void EncodeBase64Lines(std::string& output, const void* data, size_t length);

}  // namespace mail
