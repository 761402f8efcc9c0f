#include "open_intent.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>

namespace vestrald {
namespace {

bool fakeMemory(pid_t, uint64_t address, void* out, size_t size) {
    if (address != 0x1000)
        return false;
    uint64_t flags = O_WRONLY | O_TRUNC;
    std::memcpy(out, &flags, std::min(size, sizeof(flags)));
    return true;
}

TEST(OpenIntent, FromTheBlockedSystemCall) {
    struct Case {
        const char* line;
        OpenIntent intent;
    };
    // Lines as /proc/TID/syscall shows them on x86-64: NR, six arguments, stack and pc.
    const Case cases[] = {
        {"257 0xffffff9c 0x5625ea5bf045 0xc1 0x1a4 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Create},
        {"257 0xffffff9c 0x5625ea5bf045 0x80000 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Read},
        {"257 0xffffff9c 0x5625ea5bf045 0x2 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Write},
        {"257 0xffffff9c 0x5625ea5bf045 0x200 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Write},
        {"2 0x5625ea5bf045 0x1 0x0 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Write},
        {"85 0x5625ea5bf045 0x1a4 0x0 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Create},
        {"59 0x5625ea5bf045 0x1 0x2 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Read},
        {"437 0xffffff9c 0x55 0x1000 0x18 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Write},
        {"437 0xffffff9c 0x55 0x2000 0x18 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Unknown},
        {"437 0xffffff9c 0x55 0x1000 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Unknown},
        {"0 0x3 0x55 0x1000 0x0 0x0 0x0 0x7ffd 0x7f10\n", OpenIntent::Unknown},  // read(2)
        {"running\n", OpenIntent::Unknown},
        {"-1 0x7ffd 0x7f10\n", OpenIntent::Unknown},
        {"257 0xffffff9c\n", OpenIntent::Unknown},
        {"257 zz 0x1 0x2 0x3 0x4 0x5 0x6 0x7\n", OpenIntent::Unknown},
        {"", OpenIntent::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(intentFromSyscallLine(c.line, 1, fakeMemory), c.intent) << c.line;
    EXPECT_STREQ(operationWord(OpenIntent::Create), "CREATE");
    EXPECT_STREQ(operationWord(OpenIntent::Unknown), "OPEN");
}

}  // namespace
}  // namespace vestrald
