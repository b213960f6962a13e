// Permissions and link protection bind only a user who is not root, so tests of what they
// refuse run their body as "nobody" in a forked child when the suite runs as root (as in CI).
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

// Runs body as a user whom permissions bind: right here when this process is not root, else
// in a child process as nobody (uid and gid 65534), to whom `folder` is handed first. The child
// prints its own failures; here they count as one more.
inline void runUnprivileged(const std::string& folder, const std::function<void()>& body) {
    if (geteuid() != 0) {
        body();
        return;
    }
    ASSERT_EQ(lchown(folder.c_str(), 65534, 65534), 0);
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        body();
        std::fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed as the unprivileged user";
}
