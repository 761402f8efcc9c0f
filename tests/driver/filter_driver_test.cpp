#include "filter_driver.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "fake_kernel_filter.h"
#include "item_tables.h"

namespace vestrald {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes word(uint32_t value) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

Bytes tableBytes(const std::vector<std::pair<std::string, std::string>>& items) {
    auto table = makeItemTable(items);
    const auto* raw = reinterpret_cast<const uint8_t*>(table.get());
    return Bytes(raw, raw + sizeof(ItemTable));
}

class FilterDriverTest : public ::testing::Test {
  protected:
    FakeKernelFilter filter;
    FilterDriver driver{filter, DriverSettings{}};
    Connection monitor{1, Device::Monitor, 10};
    Connection control{2, Device::Control, 10};
    int event = -1;

    ~FilterDriverTest() override {
        if (event >= 0)
            ::close(event);
    }

    ControlResult request(const Connection& c, uint32_t code, const Bytes& in = {},
                          uint32_t outLen = 0, int passFd = -1) {
        return driver.control(c, code, in, outLen,
                              platform::UniqueFd(passFd >= 0 ? ::dup(passFd) : -1));
    }

    void protect(const std::vector<std::pair<std::string, std::string>>& items) {
        ASSERT_TRUE(request(control, IOCTL_CONTROL_APPLY_ITEMS, tableBytes(items)).ok);
        ASSERT_TRUE(request(control, IOCTL_CONTROL_PROTECT_ON).ok);
        ASSERT_TRUE(request(monitor, IOCTL_VESTRAL_START_CAPTURE, word(1)).ok);
    }

    void listen() {
        event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ASSERT_TRUE(request(control, IOCTL_CONTROL_SET_QUESTION_EVENT, word(event), 0, event).ok);
    }

    // An open by `program`; returns the descriptor that stands for the kernel event.
    std::pair<OpenVerdict, int> open(const std::string& path, const std::string& program,
                                     OpenIntent intent = OpenIntent::Read) {
        OpenEvent e;
        int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        filter.forget(fd);
        e.event = PermissionEvent(fd, &filter);
        e.path = path;
        e.programPath = "/usr/bin/" + program;
        e.readIntent = [intent] { return intent; };
        e.at = SteadyClock::now();
        OpenVerdict verdict = driver.onOpen(e);
        return {verdict, fd};
    }

    AccessQuestion fetch() {
        ControlResult r =
            request(control, IOCTL_CONTROL_FETCH_QUESTION, {}, sizeof(AccessQuestion));
        AccessQuestion q{};
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.output.size(), sizeof(q));
        std::memcpy(&q, r.output.data(), std::min(r.output.size(), sizeof(q)));
        return q;
    }

    bool reply(AccessQuestion q, AccessDecision decision) {
        q.Decision = decision;
        const auto* raw = reinterpret_cast<const uint8_t*>(&q);
        return request(control, IOCTL_CONTROL_REPLY, Bytes(raw, raw + sizeof(q))).ok;
    }

    std::vector<std::string> eventTexts() {
        ControlResult r =
            request(monitor, IOCTL_VESTRAL_READ_EVENTS, {}, VESTRAL_EVENT_BUFFER_SIZE);
        std::vector<std::string> texts;
        for (size_t at = 0; at + 16 < r.output.size();) {
            std::string text(reinterpret_cast<const char*>(r.output.data() + at + 16));
            at += 16 + ((text.size() + 4) & ~size_t{3});
            texts.push_back(text);
        }
        return texts;
    }

    ItemTable* items(std::unique_ptr<ItemTable>& table) {
        ControlResult r = request(control, IOCTL_CONTROL_GET_ITEMS, {}, sizeof(ItemTable));
        EXPECT_TRUE(r.ok);
        table = std::make_unique<ItemTable>();
        std::memcpy(table.get(), r.output.data(), sizeof(ItemTable));
        return table.get();
    }
};

TEST_F(FilterDriverTest, RequestsAreCheckedAgainstDeviceAndLengths) {
    ControlResult version = request(monitor, IOCTL_VESTRAL_GET_VERSION, {}, 4);
    ASSERT_TRUE(version.ok);
    EXPECT_EQ(version.output, word(400));

    struct Case {
        const Connection* on;
        uint32_t code;
        size_t inLen;
        uint32_t outLen;
        uint32_t error;
    };
    const Case failing[] = {
        {&monitor, IOCTL_VESTRAL_GET_VERSION, 0, 3, EINVAL},
        {&control, IOCTL_VESTRAL_GET_VERSION, 0, 4, ENOTTY},  // monitor code on control
        {&monitor, IOCTL_CONTROL_PROTECT_ON, 0, 0, ENOTTY},
        {&monitor, 0x83000024, 0, 0, ENOTTY},
        {&monitor, IOCTL_VESTRAL_SET_DRIVES, 3, 4, EINVAL},
        {&monitor, IOCTL_VESTRAL_SET_FILTER, 1025, 0, EINVAL},
        {&monitor, IOCTL_VESTRAL_SET_TIME_MODE, 0, 0, EINVAL},
        {&monitor, IOCTL_VESTRAL_START_CAPTURE, 2, 0, EINVAL},
        {&control, IOCTL_CONTROL_GET_ITEMS, 0, sizeof(ItemTable) - 1, EINVAL},
        {&control, IOCTL_CONTROL_FETCH_QUESTION, 0, sizeof(AccessQuestion) - 1, EINVAL},
        {&control, IOCTL_CONTROL_REPLY, sizeof(AccessQuestion) - 1, 0, EINVAL},
        {&control, IOCTL_CONTROL_SET_QUESTION_EVENT, 4, 0, EBADF},  // handle without descriptor
    };
    for (const Case& c : failing) {
        Bytes in(c.inLen, 1);
        ControlResult r = request(*c.on, c.code, in, c.outLen);
        EXPECT_FALSE(r.ok) << std::hex << c.code;
        EXPECT_EQ(r.error, c.error) << std::hex << c.code;
    }
    // A descriptor that is not an eventfd is refused: writing to it could block the driver.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_EQ(
        request(control, IOCTL_CONTROL_SET_QUESTION_EVENT, word(pipeFds[1]), 0, pipeFds[1]).error,
        static_cast<uint32_t>(EINVAL));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);

    ControlResult drives = request(monitor, IOCTL_VESTRAL_SET_DRIVES, word(0x24), 4);
    ASSERT_TRUE(drives.ok);
    EXPECT_EQ(drives.output, word(0x24));
}

TEST_F(FilterDriverTest, ChangesReconfigureMarksAndDropTheCache) {
    ASSERT_TRUE(request(monitor, IOCTL_VESTRAL_SET_DRIVES, word(0x4), 4).ok);
    EXPECT_EQ(filter.configured.back(), std::make_pair(0x4u, false)) << "nothing to guard yet";
    ASSERT_TRUE(request(control, IOCTL_CONTROL_EXE_ON).ok);
    EXPECT_EQ(filter.configured.back(), std::make_pair(0x4u, true));
    ASSERT_TRUE(request(control, IOCTL_CONTROL_EXE_OFF).ok);
    ASSERT_TRUE(request(control, IOCTL_CONTROL_PROTECT_ON).ok);
    EXPECT_EQ(filter.configured.back(), std::make_pair(0x4u, false)) << "protection, no items";
    int flushes = filter.flushes;
    ASSERT_TRUE(request(control, IOCTL_CONTROL_APPLY_ITEMS, tableBytes({{"/D", "A:"}})).ok);
    EXPECT_EQ(filter.configured.back(), std::make_pair(0x4u, true));
    EXPECT_EQ(filter.flushes, flushes + 1);
    ASSERT_TRUE(request(control, IOCTL_CONTROL_CLEAR_ITEMS).ok);
    EXPECT_EQ(filter.configured.back(), std::make_pair(0x4u, false));
}

TEST_F(FilterDriverTest, OpensArePassedCachedOrHeld) {
    protect({{"/DATA", "EDITOR:"}});
    ASSERT_TRUE(request(control, IOCTL_CONTROL_EXE_ON).ok);
    EXPECT_EQ(open("/other/file", "cat").first, OpenVerdict::AllowAndCache);
    EXPECT_EQ(open("/data/file", "editor").first, OpenVerdict::Allow);
    EXPECT_EQ(open("/other/tool.exe", "cat", OpenIntent::Read).first, OpenVerdict::Allow);

    // Held, but no engine listens: denied at once and recorded.
    auto [verdict, fd] = open("/data/file", "cat");
    EXPECT_EQ(verdict, OpenVerdict::Taken);
    EXPECT_EQ(filter.answersFor(fd), std::vector<bool>{false});
    EXPECT_EQ(eventTexts(), std::vector<std::string>{"cat\tREAD\t/data/file\tDENY NO ENGINE"});

    listen();
    auto [created, exeFd] = open("/other/new.dll", "cp", OpenIntent::Create);
    EXPECT_EQ(created, OpenVerdict::Taken);
    EXPECT_TRUE(filter.answersFor(exeFd).empty()) << "waits for the engine";
    AccessQuestion q = fetch();
    EXPECT_EQ(q.Valid, 1u);
    EXPECT_STREQ(q.FilePath, "/other/new.dll");
    EXPECT_STREQ(q.Process, "cp");
    EXPECT_STREQ(q.ItemPrograms, "") << "an executable-file question";
    ASSERT_TRUE(reply(q, DenyOnce));
    EXPECT_EQ(filter.answersFor(exeFd), std::vector<bool>{false});
    EXPECT_EQ(eventTexts(), std::vector<std::string>{"cp\tCREATE\t/other/new.dll\tDENY ONCE"});

    // Protection off: the items no longer matter and the file may be cached.
    ASSERT_TRUE(request(control, IOCTL_CONTROL_PROTECT_OFF).ok);
    EXPECT_EQ(open("/data/file", "cat").first, OpenVerdict::AllowAndCache);
}

TEST_F(FilterDriverTest, EachDecisionDoesWhatItSays) {
    struct Case {
        AccessDecision decision;
        bool allowed;
        int askedAgain;  // 1 asked again, 0 remembered (answer given without a question)
        bool listed;     // the program appears in the item's string afterwards
    };
    const Case cases[] = {
        {AllowOnce, true, 1, false},         {DenyOnce, false, 1, false},
        {AllowUntilRestart, true, 0, false}, {DenyUntilRestart, false, 0, false},
        {AllowAlways, true, 0, true},
    };
    protect({{"/DATA", "EDITOR:"}});
    listen();
    for (const Case& c : cases) {
        std::string program = "prog" + std::to_string(c.decision);
        auto [verdict, fd] = open("/data/secret", program);
        ASSERT_EQ(verdict, OpenVerdict::Taken);
        AccessQuestion q = fetch();
        ASSERT_EQ(q.Valid, 1u);
        ASSERT_TRUE(reply(q, c.decision));
        EXPECT_EQ(filter.answersFor(fd), std::vector<bool>{c.allowed}) << c.decision;

        auto [again, againFd] = open("/data/other", program);
        if (c.listed) {
            EXPECT_EQ(again, OpenVerdict::Allow) << "now a permitted program";
        } else if (c.askedAgain) {
            EXPECT_EQ(fetch().Valid, 1u) << c.decision;
            ASSERT_TRUE(reply(fetch(), DenyOnce));
        } else {
            EXPECT_EQ(fetch().Valid, 0u) << c.decision;
            EXPECT_EQ(filter.answersFor(againFd), std::vector<bool>{c.allowed}) << c.decision;
        }
    }
    std::unique_ptr<ItemTable> table;
    ItemTable* back = items(table);
    EXPECT_EQ(std::string(back->Items[0].Programs, back->Items[0].ProgramsLength), "EDITOR:PROG5:");
    // A late reply to a settled question succeeds (the engine's thread would end on a failure).
    AccessQuestion stale{};
    stale.Reserved1[0] = 99;
    EXPECT_TRUE(reply(stale, AllowOnce));
}

TEST_F(FilterDriverTest, WithdrawalDeniesHeldOpensAndARefusedCreationLeavesNoFile) {
    protect({{"/DATA", "EDITOR:"}});
    listen();
    auto [verdict, fd] = open("/data/secret", "cat");
    ASSERT_EQ(verdict, OpenVerdict::Taken);
    ASSERT_TRUE(request(control, IOCTL_CONTROL_SET_QUESTION_EVENT, word(0)).ok);
    EXPECT_EQ(filter.answersFor(fd), std::vector<bool>{false});

    char folder[] = "/tmp/vestrald-created-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    std::string path = std::string(folder) + "/new.exe";
    ASSERT_TRUE(request(control, IOCTL_CONTROL_EXE_ON).ok);
    listen();
    OpenEvent e;
    e.event = PermissionEvent(::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644), &filter);
    e.path = path;
    e.programPath = "/usr/bin/cp";
    e.readIntent = [] { return OpenIntent::Create; };
    ASSERT_EQ(driver.onOpen(e), OpenVerdict::Taken);
    ASSERT_TRUE(reply(fetch(), DenyOnce));
    struct stat info;
    EXPECT_NE(::stat(path.c_str(), &info), 0) << "the refused creation's empty file is gone";
    ::rmdir(folder);
}

}  // namespace
}  // namespace vestrald
