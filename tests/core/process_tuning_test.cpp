// Process tuning before a race, from an injected physical memory figure.
#include "core/file.h"
#include "tests/core/file_fixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/resource.h>

namespace {

unsigned long long memory_figure;
unsigned long long injected_memory(void) { return memory_figure; }

TEST(ProcessTuning, WorkingSetRangeAndPriority)
{
    std::string log = start_log_capture();
    set_physical_memory_query(injected_memory);
    struct {
        unsigned long long memory;
        const char *range;   // null: left alone
    } cases[] = {
        {48ull << 20, nullptr},
        {(64ull << 20) - 1, nullptr},
        {64ull << 20, "Setting working set range to 33554432 - 33554432\n"},
        {512ull << 20, "Setting working set range to 503316480 - 503316480\n"},
        {8ull << 30, "Setting working set range to 1073741824 - 2113929216\n"},
    };
    size_t seen = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.memory);
        memory_figure = c.memory;
        errno = 0;
        int priority_before = getpriority(PRIO_PROCESS, 0);
        tune_process_memory();
        std::string text = captured_log(log);
        std::string added = text.substr(seen);
        seen = text.size();
        if (!c.range) {
            EXPECT_NE(added.find("Working set left alone - less than 64 MB physical memory\n"), std::string::npos);
            EXPECT_EQ(added.find("Setting working set"), std::string::npos);
            EXPECT_EQ(added.find("Priority"), std::string::npos);
            EXPECT_EQ(getpriority(PRIO_PROCESS, 0), priority_before);
            continue;
        }
        EXPECT_NE(added.find(c.range), std::string::npos);
        EXPECT_NE(added.find("Working set update failed\n"), std::string::npos);
        bool raised = added.find("Priority successfully set to high\n") != std::string::npos;
        bool failed = added.find("Priority set failed\n") != std::string::npos;
        EXPECT_NE(raised, failed);
        if (raised) {
            EXPECT_LT(getpriority(PRIO_PROCESS, 0), 0);
        } else {
            EXPECT_EQ(getpriority(PRIO_PROCESS, 0), priority_before);
        }
    }
    set_physical_memory_query(nullptr);
}

}  // namespace
