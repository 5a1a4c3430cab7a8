// Lines logged from several threads at once come out whole.
#include "platform/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

TEST(Log, LinesFromSeveralThreadsComeOutWhole)
{
    std::string path = test_dir() + "/log.txt";
    setenv("VOKE_LOGFILE", path.c_str(), 1);
    enum { THREADS = 4, LINES = 400 };
    std::string padding(120, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++)
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < LINES; i++)
                log_printf("thread %d line %d %s end\n", t, i, padding.c_str());
        });
    for (std::thread &thread : threads)
        thread.join();
    log_printf(nullptr);

    std::string text;
    ASSERT_TRUE(read_file(path, &text));
    std::istringstream lines(text);
    std::string line;
    int next[THREADS] = {};
    int count = 0;
    while (std::getline(lines, line)) {
        int h, m, s, cs, t, i, used = 0;
        ASSERT_EQ(sscanf(line.c_str(), "[%d:%d:%d.%d] %n", &h, &m, &s, &cs, &used), 4) << line;
        std::string body = line.substr(used);
        if (body.rfind("thread ", 0) != 0)
            continue;   // the header lines
        ASSERT_EQ(sscanf(body.c_str(), "thread %d line %d", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < THREADS) << line;
        EXPECT_EQ(i, next[t]) << line;
        next[t] = i + 1;
        char expected[256];
        snprintf(expected, sizeof expected, "thread %d line %d %s end", t, i, padding.c_str());
        ASSERT_EQ(body, expected);
        count++;
    }
    EXPECT_EQ(count, THREADS * LINES);
}
