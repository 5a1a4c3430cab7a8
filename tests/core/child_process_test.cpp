// The test helpers that run work in another process: a forked child and the
// current test again in a fresh process; both end a child that hangs.
#include "support/test_support.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool marked_in_this_process;

}  // namespace

TEST(ChildProcess, ForkedChildGivesItsStatusAndErrorsAndIsKilledWhenItHangs)
{
    std::string errors;
    EXPECT_EQ(run_in_child([] {
        fprintf(stderr, "from the child\n");
        _exit(5);
    }, &errors), 5);
    EXPECT_EQ(errors, "from the child\n");
    EXPECT_EQ(run_in_child([] {}), 0);

    auto start = std::chrono::steady_clock::now();
    int status = 0;
    EXPECT_NONFATAL_FAILURE(status = run_in_child([] { pause(); }, nullptr, 1), "did not end within 1 s");
    EXPECT_EQ(status, -1);
    EXPECT_LT(seconds_since(start), 10.0);
}

// The same test runs in the child: what the child does is chosen by a
// variable the parent sets.
TEST(ChildProcess, FreshProcessRunsTheTestAgainAloneAndIsKilledWhenItHangs)
{
    if (in_fresh_process()) {
        std::string role = getenv("CHILD_PROCESS_ROLE") ? getenv("CHILD_PROCESS_ROLE") : "";
        if (role == "fail")
            ADD_FAILURE() << "failed on purpose";
        else if (role == "hang")
            pause();
        // A fork would have kept the parent's mark.
        EXPECT_FALSE(marked_in_this_process);
        return;
    }
    marked_in_this_process = true;
    std::string output;
    setenv("CHILD_PROCESS_ROLE", "pass", 1);
    EXPECT_EQ(run_test_in_fresh_process(&output), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;

    setenv("CHILD_PROCESS_ROLE", "fail", 1);
    EXPECT_EQ(run_test_in_fresh_process(&output), 1);
    EXPECT_NE(output.find("failed on purpose"), std::string::npos) << output;

    setenv("CHILD_PROCESS_ROLE", "hang", 1);
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    EXPECT_NONFATAL_FAILURE(status = run_test_in_fresh_process(nullptr, 1), "did not end within 1 s");
    EXPECT_EQ(status, -1);
    EXPECT_LT(seconds_since(start), 10.0);
    unsetenv("CHILD_PROCESS_ROLE");
}
