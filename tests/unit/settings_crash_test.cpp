// The limit setting survives a crash in the middle of a toggle: a process killed at an
// arbitrary moment while rewriting the file leaves the old value or the new one, never an
// empty or half-written file.
#include "base/settings.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

TEST(LimitSettingCrash, KilledWhileTogglingLeavesAWholeValue)
{
    TempDir dir;
    const std::string path = dir.file("bt_degree_30.txt");
    ASSERT_TRUE(writeLimitSetting(path.c_str(), 0));
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(0, 3000);
    int killedWhileWriting = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Toggle as fast as possible until killed.
            for (int value = 1;; value ^= 1) {
                writeLimitSetting(path.c_str(), value);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        killedWhileWriting += WIFSIGNALED(status);

        const auto bytes = readFileBytes(path);
        const std::string content(bytes.begin(), bytes.end());
        EXPECT_TRUE(content == "0" || content == "1") << "round " << round << ": \"" << content << "\"";
        const int value = readLimitSetting(path.c_str());
        EXPECT_TRUE(value == 0 || value == 1);
    }
    EXPECT_EQ(killedWhileWriting, 40);
}
