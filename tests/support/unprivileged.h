#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

// Runs body here when not root, else in a child as nobody (65534), to whom `folder` is handed.
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

// While it lives, this thread obeys file permission bits even as root (for a process that
// cannot fork, such as one holding a window): the two capabilities that override them leave
// its effective set, and come back at the end.
class PermissionBitsObeyed {
   public:
    PermissionBitsObeyed() { overrideBits(false); }
    ~PermissionBitsObeyed() { overrideBits(true); }
    PermissionBitsObeyed(const PermissionBitsObeyed&) = delete;
    PermissionBitsObeyed& operator=(const PermissionBitsObeyed&) = delete;

   private:
    static void overrideBits(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        const uint32_t bits = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH;
        data[0].effective = on ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
    }
};
