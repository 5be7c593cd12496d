// SPDX-License-Identifier: GPL-3.0-or-later
// Ending Lentora while the burners work: a SIGTERM (a session ending, `kill`)
// must end it promptly, and the launched program runs on, adopted by the
// process that started Lentora rather than left a zombie.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <csignal>

#include "lentora_process.h"
#include "sandbox.h"

using namespace std::chrono_literals;

TEST(Shutdown, SigtermEndsLentoraPromptlyWhileTheBurnersWork) {
    Sandbox sandbox;
    LentoraProcess lentora(sandbox,
                           {.args = {"/SPEED=90", "/RUNFOR=0", sandbox.program.string()}, .childSleepMs = 30000});
    ASSERT_TRUE(waitFor([&] { return sandbox.childStarted(); }, 10s, 20ms));
    const auto launched = lentora.children();
    ASSERT_EQ(launched.size(), 1u);
    const auto atStart = lentora.workerCpu();
    ASSERT_TRUE(waitFor([&] { return totalCpu(cpuSince(atStart, lentora.workerCpu())) >= 200; }, 5s, 20ms))
        << "the burners do not work";

    const auto sent = std::chrono::steady_clock::now();
    lentora.signal(SIGTERM);
    const auto status = lentora.waitForExit(5s);

    ASSERT_TRUE(status) << "Lentora did not end within 5 s of SIGTERM";
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 3s);
    EXPECT_TRUE((WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) ||
                (WIFEXITED(*status) && WEXITSTATUS(*status) == 0))
        << *status;
    // The program it launched goes on, now a child of this test (its subreaper).
    const pid_t program = launched.begin()->first;
    const auto adopted = ownChildren();
    ASSERT_TRUE(adopted.count(program)) << "the launched program did not run on";
    EXPECT_NE(adopted.at(program), 'Z');
    killAndReap(program);
}
