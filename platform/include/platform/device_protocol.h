// The framing of a device control request between a device client (the engine) and the device
// server (vestrald, or the tests' fake driver). One request at a time on a connection; every
// integer is unsigned 32-bit little-endian; record layouts travel unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::device {

inline constexpr uint32_t kMagic = 0x4C545356;         // "VSTL"
// Limit of inLen and outLen each: 2 MiB, the smallest power of two that holds a whole item
// table (1264004 bytes), which travels in one request.
inline constexpr uint32_t kMaxPayload = 2u << 20;
inline constexpr const char* kDefaultDeviceDir = "/run/vestral";
inline constexpr const char* kDeviceDirVariable = "VESTRAL_DEVICE_DIR";

struct RequestHeader {
    uint32_t magic;
    uint32_t code;
    uint32_t inLen;   // input bytes that follow
    uint32_t outLen;  // room the caller has for output
};
static_assert(sizeof(RequestHeader) == 16);
static_assert(offsetof(RequestHeader, code) == 4);
static_assert(offsetof(RequestHeader, inLen) == 8);
static_assert(offsetof(RequestHeader, outLen) == 12);

struct ReplyHeader {
    uint32_t status;    // 1 success, 0 failure
    uint32_t returned;  // output bytes that follow, at most outLen
    uint32_t error;     // 0 on success, an errno value otherwise
};
static_assert(sizeof(ReplyHeader) == 12);
static_assert(offsetof(ReplyHeader, returned) == 4);
static_assert(offsetof(ReplyHeader, error) == 8);

}  // namespace platform::device
