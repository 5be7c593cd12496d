// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up as a user meets it: the benchmark is measured once per user and
// kept in the per-user store; later starts take it from there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "lentora_process.h"
#include "sandbox.h"

using namespace std::chrono_literals;

namespace {

// A start that launches the test child and ends with it (/CLOSE), so that
// every start-up step has run when the process is gone.
int startAndEnd(const Sandbox& sandbox) {
    LentoraProcess lentora(sandbox, {.args = {"/CLOSE", sandbox.program.string()}});
    const auto status = lentora.waitForExit(30s);
    return status ? *status : -1;
}

struct stat fileStatus(const std::filesystem::path& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status;
}

}  // namespace

TEST(Startup, FirstStartMeasuresTheBenchmarkAndKeepsIt) {
    Sandbox sandbox;
    ASSERT_FALSE(sandbox.readStore());

    const int status = startAndEnd(sandbox);

    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto store = sandbox.readStore();
    ASSERT_TRUE(store) << "no store at " << sandbox.storePath();
    EXPECT_NE(store->find("[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]"), std::string::npos) << *store;
    const auto bench = storedBench(*store);
    ASSERT_TRUE(bench) << *store;
    EXPECT_GT(*bench, 0);
    EXPECT_LT(*bench, 60000);
}

TEST(Startup, LaterStartTakesTheStoredBenchmarkWithoutMeasuring) {
    Sandbox sandbox;
    // A value no measurement here gives, in a file a new write would replace.
    sandbox.writeStore(storeWithBench(0x321));
    const struct stat before = fileStatus(sandbox.storePath());

    const int status = startAndEnd(sandbox);

    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(storedBench(sandbox.readStore().value_or("")), 0x321);
    const struct stat after = fileStatus(sandbox.storePath());
    EXPECT_EQ(after.st_ino, before.st_ino) << "the store was written again";
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// A stored zero and a damaged store are replaced by a measurement.
TEST(Startup, StoredZeroOrDamagedBenchmarkIsMeasuredAgain) {
    for (const std::string& stored :
         {storeWithBench(0),
          std::string("[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n\"bench\"=dword:zz\n\x01\x02garbage")}) {
        Sandbox sandbox;
        sandbox.writeStore(stored);
        const int status = startAndEnd(sandbox);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_GT(storedBench(sandbox.readStore().value_or("")).value_or(0), 0) << stored;
    }
}
