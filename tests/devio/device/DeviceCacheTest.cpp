#include "DeviceTestSupport.h"

#include "device/CacheFile.h"
#include "device/DeviceLock.h"

#include <sim/FileFaults.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;

namespace {

platform::sim::SimProtocolConfig product(std::uint16_t id)
{
    auto config = platform::sim::sim_keyboard_config();
    config.product_id = id;
    return config;
}

bool asks_for(const std::vector<Bytes>& log, Byte index, Byte function)
{
    for (const auto& r : log)
        if (r.size() > 3 && r[2] == index && (r[3] >> 4) == function && !(index == 0 && r.size() > 6 && r[6] != 0))
            return true;
    return false;
}

} // namespace

TEST(DeviceCache, FileNamedByProductAndPathHashRoundTrips)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    std::string written;
    {
        Rig rig(product(0x4082), "abc");
        rig.device->set_cache_directory(dir);
        EXPECT_EQ(rig.device->cache_file_name(), dir + "4082_541574B.xml");
        ASSERT_TRUE(rig.device->getFeatureSync(0x0003));
        rig.device->write_response_cache();
        written = read_text(dir + "4082_541574B.xml");
    }
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << written;
    EXPECT_NE(written.find("<cache fw=\"0APP0102003"), std::string::npos) << written;
    EXPECT_NE(written.find("path=\"abc\""), std::string::npos);
    // TargetSw, stored with software id 0xA.
    EXPECT_NE(written.find("<command cmd=\"10FF001A000000\" rsp=\"11FF001A0402"), std::string::npos) << written;

    // The next device of that product and path discovers from the file.
    Rig again(product(0x4082), "abc");
    again.device->set_cache_directory(dir);
    ASSERT_TRUE(again.device->getFeatureSync(0x0003));
    const auto log = again.model->written();
    EXPECT_FALSE(asks_for(log, 0x00, 1));  // no TargetSw
    EXPECT_FALSE(asks_for(log, 0x00, 0));  // no GetFeature
}

TEST(DeviceCache, OtherFirmwareOrDamagedFileLoadsNothingAndIsRewritten)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    Rig rig(product(0x4082), "abc");
    ASSERT_TRUE(rig.device->getFeatureSync(0x0003));
    const std::string name = dir + "4082_541574B.xml";

    write_text(name, "<cache fw=\"0XYZ99990000\" path=\"abc\"><command cmd=\"10FF000A0000AA\" rsp=\"11FF000A0000AA\"/></cache>");
    rig.device->set_cache_directory(dir);
    rig.device->write_response_cache();
    EXPECT_EQ(read_text(name).find("0XYZ"), std::string::npos);
    EXPECT_EQ(read_text(name).find("10FF000A0000AA"), std::string::npos);

    write_text(name, "<cache fw=\"0APP01020033\"><command cmd=");
    rig.device->set_cache_directory(dir);  // must not throw
    rig.device->write_response_cache();
    EXPECT_NE(read_text(name).find("<cache fw="), std::string::npos);
    EXPECT_NE(read_text(name).find("</cache>"), std::string::npos);

    // Nested deeper than the parser's stack allows (behind closing tags a processing instruction
    // hides): damaged too, not a crash.
    {
        std::string text = "<cache fw=\"0APP01020033\" path=\"abc\"><command cmd=\"10FF000A0000AA\" rsp=\"11FF000A0000AA\"/><?";
        for (int i = 0; i < 100000; ++i)
            text += "</x>";
        text += "?>";
        for (int i = 0; i < 100000; ++i)
            text += "<x>";
        for (int i = 0; i < 100000; ++i)
            text += "</x>";
        write_text(name, text + "</cache>");
    }
    rig.device->set_cache_directory(dir);
    rig.device->write_response_cache();
    const std::string rewritten = read_text(name);
    EXPECT_EQ(rewritten.find("10FF000A0000AA"), std::string::npos);
    EXPECT_EQ(rewritten.find("<x>"), std::string::npos);
    EXPECT_NE(rewritten.find("</cache>"), std::string::npos);
}

TEST(DeviceCache, AFirmwareTextThatCannotBeWrittenBackIsDamage)
{
    // rapidxml decodes these references; its printer would write the characters raw.
    struct Case {
        const char* name;
        const char* fw;
        bool loads;
    };
    const Case cases[] = {
        {"NUL", "X&#0;", false},
        {"control character", "X&#x1F;", false},
        {"tab", "X&#9;", true},
        {"plain", "X&amp;", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string("<cache fw=\"") + c.fw +
                                 "\" path=\"p\"><command cmd=\"10FF001A00\" rsp=\"11FF001A07\"/></cache>";
        if (!c.loads) {
            EXPECT_THROW(parse_cache(text), CacheFileError);
            continue;
        }
        const auto file = parse_cache(text);
        ASSERT_TRUE(file);
        const auto printed = print_cache(*file);
        ASSERT_TRUE(printed);
        const auto again = parse_cache(*printed);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->firmware, file->firmware);
        EXPECT_EQ(again->replies, file->replies);
    }
    CacheFile withControlInPath;
    withControlInPath.firmware = "0APP01020033";
    withControlInPath.path = std::string("p\0", 2);
    EXPECT_FALSE(print_cache(withControlInPath));

    // A device that took such a text on would write it raw into its next file.
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    Rig rig(product(0x4082), "abc");
    const std::string name = dir + "4082_541574B.xml";
    write_text(name, "<cache fw=\"X&#1;\" path=\"abc\"><command cmd=\"10FF001A000000\" rsp=\"11FF001A0407\"/></cache>");
    rig.device->set_cache_directory(dir);
    rig.device->write_response_cache();
    EXPECT_EQ(read_text(name).find('\x01'), std::string::npos);
}

TEST(DeviceCache, LegacyNameLoadsWhenEnabledAndBothAreWritten)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    write_text(dir + "4082.xml", "<?xml version=\"1.0\"?><cache fw=\"0APP01020033\" path=\"abc\">"
                                 "<command cmd=\"10FF000A000000\" rsp=\"11FF000A0407\"/></cache>");
    Rig rig(product(0x4082), "abc");
    rig.manager->config()->set(ConfigUnhashedCache, true);
    auto device = Device::create(rig.manager, rig.hardware, rig.manager->config());
    device->initDevice(rig.manager);
    device->set_cache_directory(dir);
    device->write_response_cache();
    EXPECT_NE(read_text(dir + "4082_541574B.xml").find("rsp=\"11FF000A0407\""), std::string::npos);
    EXPECT_NE(read_text(dir + "4082.xml").find("rsp=\"11FF000A0407\""), std::string::npos);
}

TEST(DeviceLock, NameUsesForwardSlashes)
{
    EXPECT_EQ(DeviceLock::mutex_name("\\\\?\\hid#vid_7e51\\x"), "tarn.tsl://?/hid#vid_7e51/x");
}

TEST(DeviceLock, PeerInAnotherProcessHalvesTheWaitUntilItLetsGo)
{
    const std::string path = "\\\\?\\lock-test-" + std::to_string(getpid());
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, DeviceLock::mutex_name(path).c_str());
        char c = WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 ? 'L' : 'E';
        (void)!write(toParent[1], &c, 1);
        (void)!read(toChild[0], &c, 1);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    ASSERT_EQ(c, 'L');
    {
        DeviceLock lock(path, 1, false);
        EXPECT_FALSE(lock.acquire());  // held by the other process: go ahead after 1 s
        EXPECT_EQ(lock.current_wait(), 500u);
        EXPECT_FALSE(lock.acquire());
        EXPECT_EQ(lock.current_wait(), 250u);
        (void)!write(toChild[1], "x", 1);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(lock.acquire());
        EXPECT_EQ(lock.current_wait(), 1000u);
        lock.release();
    }
}

TEST(DeviceCache, AWriteThatFailsIsReportedAndTriedAgainAtTheNextWrite)
{
    struct Case {
        const char* name;
        void (*fail)(bool);
    };
    const Case cases[] = {
        {"the disk is full", platform::sim::set_file_writes_fail},
        {"the data written cannot be flushed", platform::sim::set_file_flushes_fail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Unscaled: the cache timer (10 s) does not write meanwhile.
        const std::string dir = make_temp_dir();
        ASSERT_FALSE(dir.empty());
        const std::string name = dir + "4082_541574B.xml";
        Rig rig(product(0x4082), "abc");
        rig.device->set_cache_directory(dir);
        ASSERT_TRUE(rig.device->getFeatureSync(0x0003));

        c.fail(true);
        set_last_error(55);
        rig.device->write_response_cache();
        c.fail(false);
        EXPECT_EQ(last_error().code, 55u);  // the writer's own record stays
        EXPECT_EQ(rig.manager->errors(), std::vector<std::string>{"Device::write_response_cache"});
        EXPECT_FALSE(std::filesystem::exists(platform::sim::host_path(name)));
        EXPECT_FALSE(std::filesystem::exists(platform::sim::host_path(name + ".tmp")));

        // Nothing new was learnt since: the device still writes its cache when it goes.
        rig.device.reset();
        EXPECT_TRUE(eventually([&] { return read_text(name).find("<command cmd=\"10FF001A000000\"") != std::string::npos; }))
            << read_text(name);
    }
}
