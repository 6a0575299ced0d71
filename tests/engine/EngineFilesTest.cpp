// The engine's files under the common application-data folder: log trim, statistics, marker.
#include "EngineLog.h"

#include <gtest/gtest.h>
#include <sim/Kernel.h>
#include <shlobj.h>

using namespace qv;

namespace {

std::string folder()
{
    WCHAR common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return narrow(common) + "\\TarnShrd\\Ravelin";
}

std::string utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// Each case is its own process, so the process-wide log starts here with what the case seeded.
class EngineFilesTest : public ::testing::Test {
protected:
    void SetUp() override { platform::sim::reset_machine(); }
};

TEST_F(EngineFilesTest, OverLongLogKeepsItsLastMegabyte)
{
    // 10,000,001 bytes whose last megabyte starts inside a line: "cut" CR LF, then more.
    std::string tail = utf16("cut\r\n");
    while (tail.size() < 1000000)
        tail += utf16("x");
    const std::string log = std::string(9000001, 'a') + tail;
    ASSERT_EQ(log.size(), 10000001u);
    ASSERT_TRUE(platform::sim::write_file(folder() + "\\EngineLog.txt", log));
    EXPECT_TRUE(EngineLog::instance().started());
    std::string kept;
    ASSERT_TRUE(platform::sim::read_file(folder() + "\\EngineLog.txt", kept));
    ASSERT_EQ(kept.size(), 1000000u);
    EXPECT_EQ(kept.substr(0, 6), utf16("   ")) << "the cut line is blanked";
    EXPECT_EQ(kept.substr(6, 6), utf16("\r\nx"));
    EXPECT_EQ(kept.substr(kept.size() - 4), utf16("x") + std::string(2, '\0')) << "a NUL character last";
}

TEST_F(EngineFilesTest, LogWithinBoundIsLeftAlone)
{
    ASSERT_TRUE(platform::sim::write_file(folder() + "\\EngineLog.txt", std::string(10000000, 'y')));
    EngineLog::instance();
    std::string kept;
    ASSERT_TRUE(platform::sim::read_file(folder() + "\\EngineLog.txt", kept));
    EXPECT_EQ(kept.size(), 10000000u);
    EXPECT_FALSE(EngineLog::instance().statistics_on());
}

TEST_F(EngineFilesTest, StatisticsFileWhenSwitchedOn)
{
    platform::sim::registry_set_dword(HKEY_LOCAL_MACHINE, "SOFTWARE\\TARNWICK\\RAVELIN", "LoggingLevel", 0xC);
    EngineLog& log = EngineLog::instance();
    ASSERT_TRUE(log.statistics_on());
    EXPECT_TRUE(log.verbose());
    const std::string path = narrow(log.statistics_path());
    EXPECT_NE(path.find("__DEBUG_LOGS__\\DFU_Engineering_Stats_"), std::string::npos);
    EXPECT_NE(path.find("_Time_"), std::string::npos);
    EXPECT_EQ(path.substr(path.size() - 4), ".csv");
    log.write_statistics(widen("DFU Lite 1;Kbd;0;SUCCESS;10;5;0;0;0;"));
    std::string content;
    ASSERT_TRUE(platform::sim::read_file(path, content));
    const std::string header = "TEST NAME; DEVICE NAME; ATTEMPT; RESULT; EXEC TIME; PACKETS SENT; PACKET FAILURE; "
                               "LINK LOSSES; RESTARTS; COMMENTS;";
    const std::string ending = std::string("\0\0\r\0\n\0", 6);
    EXPECT_EQ(content, utf16(header) + ending + utf16("DFU Lite 1;Kbd;0;SUCCESS;10;5;0;0;0;") + ending);
    EXPECT_EQ(EngineLog::next_attempt(), 0);
    EXPECT_EQ(EngineLog::next_attempt(), 1);
}

TEST_F(EngineFilesTest, MarkerHoldsExactlyItsTextUntilDeleted)
{
    EngineLog& log = EngineLog::instance();
    const WString text = widen("Op[6],FWPackage[...]");
    ASSERT_EQ(log.pending_marker(&text), 1);
    std::string content;
    ASSERT_TRUE(platform::sim::read_file(folder() + "\\PendingDfu.txt", content));
    EXPECT_EQ(content, utf16("Op[6],FWPackage[...]"));
    EXPECT_EQ(log.pending_marker(nullptr), 1);
    EXPECT_FALSE(platform::sim::read_file(folder() + "\\PendingDfu.txt", content));
    // The log file is created even when nothing is written into it.
    ASSERT_TRUE(platform::sim::read_file(folder() + "\\EngineLog.txt", content));
    EXPECT_TRUE(content.empty());
}

}  // namespace
