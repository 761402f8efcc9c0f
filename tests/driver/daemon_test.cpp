// The real daemon, driven through the device protocol as the engine drives it.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "daemon_fixture.h"
#include "name_matching.h"
#include "platform/device_protocol.h"

namespace vestrald {
namespace {

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void writeFile(const std::string& path, const std::string& content = "x") {
    std::ofstream(path) << content;
}

class ProtectedFolder : public DaemonTest {
  protected:
    void SetUp() override {
        DaemonTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        folder_ = root_ + "/prot";
        std::filesystem::create_directories(folder_);
        writeFile(folder_ + "/a.txt");
        writeFile(folder_ + "/b.txt");
        writeFile(folder_ + "/c.txt");
        ASSERT_NO_FATAL_FAILURE(startDaemon());
        ASSERT_NO_FATAL_FAILURE(engineStartup());
        ASSERT_NO_FATAL_FAILURE(applyItems({{upperAscii(folder_), "ALLOWEDTOOL:"}}));
        ASSERT_NO_FATAL_FAILURE(control(IOCTL_CONTROL_PROTECT_ON));
        ASSERT_NO_FATAL_FAILURE(listen());
    }
    std::string folder_;
};

TEST_F(ProtectedFolder, PermittedProgramReadsAndAnotherIsAsked) {
    EXPECT_EQ(run("allowedtool", folder_ + "/a.txt", "r"), 0);
    EXPECT_FALSE(waitQuestion(200)) << "a permitted program is never asked about";
    EXPECT_EQ(run("othertool", root_ + "/free.txt", "c"), 0) << "outside every item";

    pid_t opener = spawn("othertool", folder_ + "/a.txt", "r");
    auto question = waitQuestion();
    ASSERT_TRUE(question);
    EXPECT_EQ(std::string(question->FilePath), folder_ + "/a.txt");
    EXPECT_STREQ(question->Process, "othertool");
    EXPECT_EQ(std::string(question->ItemName), upperAscii(folder_));
    EXPECT_STREQ(question->ItemPrograms, "ALLOWEDTOOL:");
    EXPECT_FALSE(waitExit(opener, 100)) << "held while the engine decides";
    ASSERT_TRUE(reply(*question, AllowOnce));
    EXPECT_EQ(waitExit(opener), 0);
    EXPECT_TRUE(contains(readEvents(), "othertool\tREAD\t" + folder_ + "/a.txt\tALLOW ONCE"));
}

TEST_F(ProtectedFolder, EachDecisionCodeDoesWhatItSays) {
    struct Case {
        AccessDecision decision;
        int exit;  // of the asked open
        bool askedAgain;
    };
    const Case cases[] = {{AllowOnce, 0, true},
                          {DenyOnce, EPERM, true},
                          {AllowUntilRestart, 0, false},
                          {DenyUntilRestart, EPERM, false},
                          {AllowAlways, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("decision " + std::to_string(c.decision));
        std::string tool = "tool" + std::to_string(c.decision);
        pid_t opener = spawn(tool, folder_ + "/a.txt", "r");
        auto question = waitQuestion();
        ASSERT_TRUE(question);
        ASSERT_TRUE(reply(*question, c.decision));
        EXPECT_EQ(waitExit(opener), c.exit);

        // The same program on another file of the item.
        opener = spawn(tool, folder_ + "/b.txt", "r");
        auto again = waitQuestion(c.askedAgain ? 5000 : 300);
        EXPECT_EQ(again.has_value(), c.askedAgain);
        if (again) {
            ASSERT_TRUE(reply(*again, c.decision));
        }
        EXPECT_EQ(waitExit(opener), c.exit);
    }
    // "Always" put the program into the item's string: a table read lists it.
    EXPECT_EQ(itemPrograms(0), "ALLOWEDTOOL:TOOL5:");
    auto events = readEvents();
    EXPECT_TRUE(contains(events, "tool4\tREAD\t" + folder_ + "/a.txt\tDENY ONCE"));
    EXPECT_TRUE(contains(events, "tool2\tREAD\t" + folder_ + "/b.txt\tDENY REMEMBERED"));
}

TEST_F(ProtectedFolder, ConcurrentQuestionsComeOneAtATime) {
    std::vector<pid_t> openers;
    for (const char* file : {"/a.txt", "/b.txt", "/c.txt", "/a.txt"}) {
        openers.push_back(spawn("othertool", folder_ + file, "r"));
        ASSERT_TRUE(waitBlockedOn(openers.back(), folder_ + file));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the daemon queues the last
    std::set<std::string> asked;
    for (int i = 0; i < 3; ++i) {
        auto question = waitQuestion();
        ASSERT_TRUE(question) << "question " << i;
        auto same = waitQuestion(50);
        ASSERT_TRUE(same);
        EXPECT_EQ(std::string(same->FilePath), question->FilePath)
            << "the next question waits for the answer to this one";
        asked.insert(question->FilePath);
        ASSERT_TRUE(reply(*question, AllowOnce));
    }
    EXPECT_EQ(asked.size(), 3u) << "the two opens of a.txt by one program share one question";
    EXPECT_FALSE(waitQuestion(200));
    for (pid_t opener : openers)
        EXPECT_EQ(waitExit(opener), 0);
}

TEST_F(ProtectedFolder, EngineDisconnectDeniesHeldOpens) {
    pid_t opener = spawn("othertool", folder_ + "/a.txt", "r");
    ASSERT_TRUE(waitQuestion());
    requests_.reset();  // the engine's question handle closes
    EXPECT_EQ(waitExit(opener, 3000), EPERM);
    EXPECT_TRUE(contains(readEvents(), "othertool\tREAD\t" + folder_ + "/a.txt\tDENY ENGINE GONE"));
}

TEST_F(ProtectedFolder, KilledDaemonLetsHeldOpensPass) {
    pid_t opener = spawn("othertool", folder_ + "/a.txt", "r");
    ASSERT_TRUE(waitQuestion());
    killDaemon(SIGKILL);  // the kernel drops the group and lets every pending open through
    EXPECT_EQ(waitExit(opener, 3000), 0);
}

TEST_F(DaemonTest, UnansweredQuestionIsDeniedAfterTheTimeout) {
    std::string folder = root_ + "/prot";
    std::filesystem::create_directories(folder);
    writeFile(folder + "/a.txt");
    ASSERT_NO_FATAL_FAILURE(startDaemon(300));
    ASSERT_NO_FATAL_FAILURE(engineStartup());
    ASSERT_NO_FATAL_FAILURE(applyItems({{upperAscii(folder) + "/*.TXT", "NOBODY:"}}));
    ASSERT_NO_FATAL_FAILURE(control(IOCTL_CONTROL_PROTECT_ON));
    ASSERT_NO_FATAL_FAILURE(listen());
    pid_t opener = spawn("othertool", folder + "/a.txt", "r");
    ASSERT_TRUE(waitQuestion());
    EXPECT_EQ(waitExit(opener, 3000), EPERM);
    EXPECT_TRUE(contains(readEvents(), "othertool\tREAD\t" + folder + "/a.txt\tDENY TIMEOUT"));
}

TEST_F(DaemonTest, ExecutableProtectionAsksBeforeCreatingOrChangingExecutables) {
    std::string bin = root_ + "/bin";
    std::filesystem::create_directories(bin);
    writeFile(bin + "/old.exe", "MZ");
    writeFile(bin + "/notes.txt");
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    ASSERT_NO_FATAL_FAILURE(engineStartup());
    ASSERT_NO_FATAL_FAILURE(control(IOCTL_CONTROL_EXE_ON));
    ASSERT_NO_FATAL_FAILURE(listen());

    EXPECT_EQ(run("othertool", bin + "/old.exe", "r"), 0) << "reading an executable is free";
    EXPECT_EQ(run("othertool", bin + "/notes.txt", "w"), 0);
    EXPECT_FALSE(waitQuestion(100));

    struct Case {
        const char* file;
        const char* mode;
        AccessDecision decision;
        int exit;
        bool existsAfter;
    };
    const Case cases[] = {
        {"/new.EXE", "c", DenyOnce, EPERM, false},  // the refused creation leaves no file
        {"/new2.dll", "cx", AllowOnce, 0, true},
        {"/new3.Bat", "a2", DenyOnce, EPERM, false},  // openat2
        {"/old.exe", "w", DenyOnce, EPERM, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        pid_t opener = spawn("othertool", bin + c.file, c.mode);
        auto question = waitQuestion();
        ASSERT_TRUE(question);
        EXPECT_EQ(std::string(question->FilePath), bin + c.file);
        EXPECT_STREQ(question->ItemPrograms, "") << "executable-file questions carry no string";
        ASSERT_TRUE(reply(*question, c.decision));
        EXPECT_EQ(waitExit(opener), c.exit);
        EXPECT_EQ(std::filesystem::exists(bin + c.file), c.existsAfter);
    }
    EXPECT_TRUE(contains(readEvents(), "othertool\tCREATE\t" + bin + "/new.EXE\tDENY ONCE"));
    ASSERT_NO_FATAL_FAILURE(control(IOCTL_CONTROL_EXE_OFF));
    EXPECT_EQ(run("othertool", bin + "/new4.exe", "c"), 0);
}

TEST_F(DaemonTest, ARenamedFileLosesItsCachedPass) {
    std::string bin = root_ + "/bin";
    std::filesystem::create_directories(bin);
    writeFile(bin + "/tool.txt");
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    ASSERT_NO_FATAL_FAILURE(engineStartup());
    ASSERT_NO_FATAL_FAILURE(control(IOCTL_CONTROL_EXE_ON));
    ASSERT_NO_FATAL_FAILURE(listen());
    // Twice: the first open caches the file as free of questions, the second uses the cache.
    EXPECT_EQ(run("othertool", bin + "/tool.txt", "w"), 0);
    EXPECT_EQ(run("othertool", bin + "/tool.txt", "w"), 0);
    std::filesystem::rename(bin + "/tool.txt", bin + "/tool.exe");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the rename is reported
    pid_t opener = spawn("othertool", bin + "/tool.exe", "w");
    auto question = waitQuestion();
    ASSERT_TRUE(question) << "the cached pass of tool.txt must not cover tool.exe";
    ASSERT_TRUE(reply(*question, DenyOnce));
    EXPECT_EQ(waitExit(opener), EPERM);
}

TEST_F(DaemonTest, RandomFramesNeverStopTheDevices) {
    ASSERT_NO_FATAL_FAILURE(startDaemon());
    unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::string path = work_ + "/devices/" + VESTRAL_CONTROL_DEVICE;
    for (int round = 0; round < 60; ++round) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        std::vector<uint32_t> words(1 + random() % 8);
        for (auto& w : words)
            w = static_cast<uint32_t>(random());
        if (round % 2)
            words[0] = platform::device::kMagic;  // past the magic, into the lengths
        [[maybe_unused]] ssize_t n = ::send(fd, words.data(), words.size() * 4, MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        char sink[64];
        while (::recv(fd, sink, sizeof(sink), 0) > 0) {
        }
        ::close(fd);
    }
    uint32_t version = 0;
    EXPECT_TRUE(monitor_->control(IOCTL_VESTRAL_GET_VERSION, nullptr, 0, &version, 4));
    EXPECT_EQ(version, 400u);
}

}  // namespace
}  // namespace vestrald
