// Tests of what an ordinary user may not do (read a file without permission, write into a
// locked folder, follow another user's link) prove nothing as root, who may do everything.
// Started as root, such a test runs its own program again, for just this test, as the user
// nobody in a folder of its own, and takes that run's outcome:
//     TEST_F(Suite, Name) {
//         if (ranAsUnprivilegedUser()) return;
//         ... the test, as an ordinary user ...
// The test program (and whatever it runs) must be reachable for other users.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "tests/support/temp_folder.h"

// False for any user but root: the test goes on. True for root once the test has run as
// nobody; a failure there, a skip, or a run that never reached the test fails it here.
inline bool ranAsUnprivilegedUser() {
    if (geteuid() != 0) return false;
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kNoGroup = 65534;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const TempFolder folder;
    int output[2];
    if (length <= 0 || folder.path().empty() || chown(folder.path().c_str(), kNobody, kNoGroup) != 0 ||
        pipe(output) != 0) {
        ADD_FAILURE() << "cannot prepare a run as nobody";
        return true;
    }
    self[length] = '\0';
    const pid_t child = fork();
    if (child == 0) {
        if (dup2(output[1], 1) >= 0 && dup2(output[1], 2) >= 0 && chdir(folder.path().c_str()) == 0 &&
            setgroups(1, &kNoGroup) == 0 && setgid(kNoGroup) == 0 && setuid(kNobody) == 0)
            execl(self, self, filter.c_str(), "--gtest_color=no", static_cast<char*>(nullptr));
        const char message[] = "cannot run the test program as nobody\n";
        (void)!write(output[1], message, sizeof message - 1);
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
