// The debug log: its place, the stamp, line ends, recreation, and many writers at once.
#include "DebugLog.h"

#include <sim/FileFaults.h>
#include <sim/Kernel.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <thread>
#include <vector>

namespace {

std::int64_t g_fake_now = 0;
std::int64_t fake_counter() { return g_fake_now; }

int sink(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = debugLogSink(format, args);
    va_end(args);
    return result;
}

std::string log_text()
{
    std::string text;
    platform::sim::read_file(debugLogPath(), text);
    return text;
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        m_frequency = frequency.QuadPart;
    }
    void TearDown() override
    {
        debugLogClose();
        debugLogSetCounterForTest(nullptr);
    }
    // The counter reads this many seconds after the stopwatch started.
    void at_seconds(double seconds)
    {
        g_fake_now = debugLogStartForTest() + static_cast<std::int64_t>(seconds * static_cast<double>(m_frequency));
        debugLogSetCounterForTest(&fake_counter);
    }
    std::int64_t m_frequency = 0;
};

TEST_F(DebugLog, LivesInTheTemporaryFolder)
{
    char temp[1024];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    EXPECT_EQ(debugLogPath(), std::string(temp) + "Ravelin\\Quillon.log");
    debugLogOpen();
    std::string text;
    EXPECT_TRUE(platform::sim::read_file(debugLogPath(), text));
    EXPECT_EQ(text, "");
}

TEST_F(DebugLog, LinesAreStampedAndEndInCarriageReturnLineFeed)
{
    debugLogOpen();
    struct Row {
        const char* name;
        double seconds;
        std::string written;
        std::string expected;
    };
    const Row rows[] = {
        {"one and a half seconds", 1.5, "hello\n", "00001.500: hello\r\n"},
        {"two line feeds", 2.25, "a\nb\n", "00002.250: a\r\nb\r\n"},
        {"a percent sign is kept", 3.0, "100% %d %s", "00003.000: 100% %d %s"},
        {"past the usual stamp width", 123456.0, "late", "123456.000: late"},
    };
    std::string expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        at_seconds(row.seconds);
        EXPECT_EQ(sink("%s", row.written.c_str()), 0);
        expected += row.expected;
        EXPECT_EQ(log_text(), expected);
    }
    at_seconds(4.0);
    debugLogWrite("%d items\n", 3);
    EXPECT_EQ(log_text(), expected + "00004.000: 3 items\r\n");
    // The debugger sees the lines as they are, without the carriage returns.
    const auto debug = platform::sim::debug_output();
    ASSERT_FALSE(debug.empty());
    EXPECT_EQ(debug.back(), "00004.000: 3 items\n");
}

TEST_F(DebugLog, EachStartEmptiesTheLogOfTheLastOne)
{
    debugLogOpen();
    debugLogWrite("first run\n");
    debugLogClose();
    EXPECT_NE(log_text(), "");
    debugLogOpen();
    EXPECT_EQ(log_text(), "");
    // After close, lines reach the debugger only.
    debugLogClose();
    debugLogWrite("after close\n");
    EXPECT_EQ(log_text(), "");
}

TEST_F(DebugLog, FailuresLeaveTheDebuggerOutput)
{
    platform::sim::set_temp_path_fails(true);
    EXPECT_EQ(debugLogPath(), "");
    debugLogOpen();
    debugLogWrite("no folder\n");
    platform::sim::set_temp_path_fails(false);
    debugLogOpen();
    platform::sim::set_file_writes_fail(true);
    debugLogWrite("no room\n");
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(platform::sim::wait_for_debug_output("no room", 1000));
    EXPECT_TRUE(platform::sim::wait_for_debug_output("no folder", 1000));
}

TEST_F(DebugLog, ManyWritersNeverInterleaveWithinALine)
{
    debugLogOpen();
    const std::string body(200, 'x');
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                sink("<%d %s>\n", t, body.c_str());
        });
    for (auto& w : writers)
        w.join();
    const std::string text = log_text();
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(at, end - at);
        EXPECT_EQ(line.size(), 11 + 4 + body.size()) << line;
        EXPECT_EQ(line.substr(line.size() - body.size() - 1), body + ">");
        ++lines;
        at = end + 2;
    }
    EXPECT_EQ(lines, 200u);
}

} // namespace
