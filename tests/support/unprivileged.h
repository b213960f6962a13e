// Permissions and link protection bind only a user who is not root, so tests of what they
// refuse run as "nobody" when the suite runs as root (as in CI): a body in a forked child
// (runUnprivileged), or the whole test again, started with
//     if (ranAsUnprivilegedUser()) return;
// The test program (and whatever it runs) must be reachable for other users.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/temp_folder.h"

constexpr uid_t kUnprivilegedUser = 65534;   // nobody
constexpr gid_t kUnprivilegedGroup = 65534;  // nogroup

// Gives up root for good in this process: true when it now runs as nobody.
inline bool becomeUnprivileged() {
    return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedGroup) == 0 && setuid(kUnprivilegedUser) == 0;
}

// Makes the file, folder or link nobody's when this process is root: true when it is nobody's or the user's
// own.
inline bool handToUnprivilegedUser(const std::string& path) {
    return geteuid() != 0 || lchown(path.c_str(), kUnprivilegedUser, kUnprivilegedGroup) == 0;
}

// As root: a shared folder open to all (sticky, as /tmp is) named `shared` in `folder`, holding a
// link `name` that another user planted there, pointing at `target`.
inline void plantLinkOfAnotherUser(const std::string& folder, const std::string& name,
                                   const std::string& target) {
    const std::string shared = folder + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(symlink(target.c_str(), (shared + "/" + name).c_str()), 0);
    ASSERT_EQ(lchown((shared + "/" + name).c_str(), 1234, 1234), 0);
}

// Runs body as a user whom permissions bind: right here when this process is not root, else
// in a child process as nobody, to whom `folder` is handed first. The child prints its own
// failures; here they count as one more.
inline void runUnprivileged(const std::string& folder, const std::function<void()>& body) {
    if (geteuid() != 0) {
        body();
        return;
    }
    ASSERT_TRUE(handToUnprivilegedUser(folder));
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!becomeUnprivileged()) _exit(3);
        body();
        std::fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed as the unprivileged user";
}

// False for any user but root: the test goes on. True for root once the test has run as
// nobody; a failure there, a skip, or a run that never reached the test fails it here.
inline bool ranAsUnprivilegedUser() {
    if (geteuid() != 0) return false;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const TempFolder folder;
    int output[2];
    if (length <= 0 || folder.path().empty() || !handToUnprivilegedUser(folder.path()) || pipe(output) != 0) {
        ADD_FAILURE() << "cannot prepare a run as nobody";
        return true;
    }
    self[length] = '\0';
    const pid_t child = fork();
    if (child == 0) {
        if (dup2(output[1], 1) >= 0 && dup2(output[1], 2) >= 0 && chdir(folder.path().c_str()) == 0 &&
            becomeUnprivileged())
            execl(self, self, filter.c_str(), "--gtest_color=no", static_cast<char*>(nullptr));
        (void)!write(output[1], "cannot run the test program as nobody\n", 38);
        _exit(127);
    }
    close(output[1]);
    std::string text;
    char block[4096];
    for (ssize_t got; child > 0 && (got = read(output[0], block, sizeof block)) > 0;) text.append(block, got);
    close(output[0]);
    int status = -1;
    if (child > 0) waitpid(child, &status, 0);
    const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                        text.find("[  PASSED  ] 1 test.") != std::string::npos;
    EXPECT_TRUE(passed) << "the run as nobody:\n" << text;
    return true;
}
