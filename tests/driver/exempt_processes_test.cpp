#include "exempt_processes.h"

#include <gtest/gtest.h>

#include <map>

namespace vestrald {
namespace {

// A process tree: 100 is the daemon, 200 holds a device (threads 201, 202), 300 is its child
// prompt, 400 a prompt started elsewhere, 500 a child of the holder that is not the prompt.
TEST(ExemptProcesses, DaemonHoldersAndTheirPromptOnly) {
    std::map<pid_t, pid_t> group = {{101, 100}, {201, 200}, {202, 200}};
    std::map<pid_t, pid_t> parent = {{300, 200}, {400, 1}, {500, 200}, {200, 1}, {600, 300}};
    auto groupOf = [&](pid_t tid) { return group.count(tid) ? group[tid] : tid; };
    ProcessLookup lookup{[&](pid_t pid, pid_t tid) { return groupOf(tid) == pid; }, groupOf,
                         [&](pid_t pid) { return parent.count(pid) ? parent[pid] : 0; }};
    ExemptProcesses exempt(100, lookup);

    EXPECT_TRUE(exempt.isExempt(101, "/opt/corvantis/vestrald"));
    EXPECT_FALSE(exempt.isExempt(202, "/opt/corvantis/cvsvc"));
    exempt.addHolder(200);
    exempt.addHolder(200);
    EXPECT_TRUE(exempt.isExempt(202, "/opt/corvantis/cvsvc"));
    EXPECT_TRUE(exempt.isExempt(300, "/opt/corvantis/cvprompt"));
    EXPECT_TRUE(exempt.isExempt(600, "/opt/corvantis/CVPROMPT"));
    EXPECT_FALSE(exempt.isExempt(400, "/opt/corvantis/cvprompt"));
    EXPECT_FALSE(exempt.isExempt(500, "/usr/bin/nautilus"));

    exempt.removeHolder(200);
    EXPECT_TRUE(exempt.isExempt(200, "/opt/corvantis/cvsvc")) << "one connection is left";
    exempt.removeHolder(200);
    EXPECT_FALSE(exempt.isExempt(200, "/opt/corvantis/cvsvc"));
}

}  // namespace
}  // namespace vestrald
