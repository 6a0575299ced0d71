// The receiver bootloader model, driven through the stand-in's file calls on its collection the
// way the engine's update protocols drive it.
#include "platform/devices/HidPort.h"
#include "devices/FirmwareSignature.h"
#include "devices/SimHidReceiver.h"

#include <sim/DeviceTree.h>

#include <gtest/gtest.h>

#include <string>

using namespace platform::sim;
using namespace std::chrono_literals;
using simtest::HidPort;

namespace {

Bytes make_image(std::size_t size)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 7);
    return image;
}

class Flasher {
public:
    explicit Flasher(HidPort& port) : m_port(port) {}

    Bytes transfer(std::uint8_t command, std::uint16_t address = 0, std::uint8_t length = 0, const Bytes& data = {},
                   std::chrono::milliseconds deadline = 2s)
    {
        Bytes r(33, 0);
        r[1] = command;
        r[2] = static_cast<std::uint8_t>(address >> 8);
        r[3] = static_cast<std::uint8_t>(address);
        r[4] = length;
        std::copy(data.begin(), data.end(), r.begin() + 5);
        if (!m_port.write(r))
            return {};
        return m_port.read(deadline);
    }
    std::uint8_t echo(std::uint8_t command, std::uint16_t address = 0, std::uint8_t length = 0, const Bytes& data = {})
    {
        const Bytes r = transfer(command, address, length, data);
        return r.size() > 1 ? r[1] : 0;
    }
    // As the plain protocol: erase page by page, every record but the first, the first without its
    // first byte, the signature, the first byte last. The echo of that last write.
    std::uint8_t program_plain(const Bytes& image, const Bytes& signature, std::uint16_t end, std::uint16_t page)
    {
        for (std::uint32_t a = 0; a < end; a += page)
            EXPECT_EQ(echo(0x30, static_cast<std::uint16_t>(a), 1), 0x30);
        for (std::size_t a = 16; a < image.size(); a += 16)
            EXPECT_EQ(echo(0x20, static_cast<std::uint16_t>(a), 16, slice(image, a, 16)), 0x20);
        EXPECT_EQ(echo(0x20, 1, 15, slice(image, 1, 15)), 0x20);
        for (std::size_t a = 0; a < signature.size(); a += 16)
            EXPECT_EQ(echo(0xC0, static_cast<std::uint16_t>(a), 16, slice(signature, a, 16)), 0xC0);
        return echo(0x20, 0, 1, slice(image, 0, 1));
    }
    // As the buffered protocols: erase, pages of 8 staged records each committed at its first
    // record's address, the signature, the end of the update. The echo of that end.
    std::uint8_t program_buffered(const Bytes& image, const Bytes& signature)
    {
        EXPECT_EQ(echo(0xD0, 0, 1, {0}), 0xD0);
        for (std::size_t page = 0; page < image.size(); page += 128) {
            EXPECT_EQ(echo(0xD0, 0, 1, {2}), 0xD0);
            for (std::size_t k = 0; k < 8 && page + k * 16 < image.size(); ++k)
                EXPECT_EQ(echo(0xC0, static_cast<std::uint16_t>(k * 16), 16, slice(image, page + k * 16, 16)), 0xC0);
            EXPECT_EQ(echo(0xD0, static_cast<std::uint16_t>(page), 1, {1}), 0xD0);
        }
        for (std::size_t a = 0; a < signature.size(); a += 16)
            EXPECT_EQ(echo(0xE0, static_cast<std::uint16_t>(a), 16, slice(signature, a, 16)), 0xE0);
        return echo(0xD0, 0, 1, {3});
    }
    static Bytes slice(const Bytes& b, std::size_t at, std::size_t n)
    {
        Bytes out;
        for (std::size_t i = at; i < at + n; ++i)
            out.push_back(i < b.size() ? b[i] : 0xFF);
        return out;
    }

private:
    HidPort& m_port;
};

class Bootloader : public ::testing::Test {
protected:
    void SetUp() override { remove_all_dev_nodes(); }
    void TearDown() override
    {
        port.reset();
        rx.reset();
        remove_all_dev_nodes();
    }
    // A receiver of that product id waiting in its bootloader, opened.
    void start(std::uint16_t productId, bool signatureRequired = false)
    {
        rx = std::make_unique<SimHidReceiver>(productId, 0x01020304);
        rx->set_switch_delays(2ms, 2ms);
        if (signatureRequired) {
            SimBootloaderConfig c = rx->bootloader()->model().config();
            c.signatureRequired = true;
            rx->set_firmware(rx->firmware(), c);
        }
        rx->start_in_bootloader();
        rx->plug();
        port = std::make_unique<HidPort>(rx->bootloader()->collection());
        ASSERT_TRUE(port->open());
    }
    SimReceiverVersion version_after_restart(Flasher& flasher)
    {
        flasher.transfer(0x70);
        EXPECT_TRUE(port->read(5s).empty());   // the restart ends the handle
        EXPECT_TRUE(rx->wait_until_settled(5s));
        return rx->receiver().version();
    }

    std::unique_ptr<SimHidReceiver> rx;
    std::unique_ptr<HidPort> port;
};

TEST_F(Bootloader, TellsItsWindowAndVersions)
{
    struct Row {
        std::uint16_t receiver;
        Bytes info;   // bytes 5..10
    } rows[] = {
        {0xC510, {0x00, 0x00, 0xDF, 0xFF, 0x02, 0x00}},
        {0xC520, {0x00, 0x00, 0xDF, 0xFF, 0x00, 0x80}},
        {0xC530, {0x00, 0x00, 0xEF, 0xFF, 0x00, 0x80}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.receiver);
        start(row.receiver);
        Flasher flasher(*port);
        const Bytes info = flasher.transfer(0x80);
        ASSERT_EQ(info.size(), 33u);
        EXPECT_EQ(Bytes(info.begin() + 5, info.begin() + 11), row.info);
        const SimReceiverVersion v = rx->receiver().version();
        char expected[32];
        std::snprintf(expected, sizeof expected, "RQR%02X.%02X_B%04X", v.number, v.release, v.build);
        for (std::uint8_t command : {0x50, 0xA0}) {
            const Bytes text = flasher.transfer(command);
            ASSERT_EQ(text.size(), 33u);
            EXPECT_EQ(text[1], command);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data() + 5)), expected);
        }
        const Bytes boot = flasher.transfer(0x90);
        ASSERT_EQ(boot.size(), 33u);
        const std::string bl(reinterpret_cast<const char*>(boot.data() + 5), boot[4]);
        // Split at '.' and '_': the second piece is the major, the third without its first letter the minor.
        char major[8], minor[8];
        std::snprintf(major, sizeof major, "%02X", v.bootloaderMajor);
        std::snprintf(minor, sizeof minor, "%04X", v.bootloaderMinor);
        EXPECT_EQ(bl.substr(bl.find('.') + 1, 2), major);
        EXPECT_EQ(bl.substr(bl.find('_') + 2), minor);
        port.reset();
        rx.reset();
    }
}

TEST_F(Bootloader, UpdatesEndInTheNewFirmwareOnlyWhenTheImagePasses)
{
    const Bytes image = make_image(1000);
    const auto good = quillon::firmwareSignature(image);
    Bytes wrong(good.begin(), good.end());
    wrong[100] ^= 0x10;
    struct Row {
        const char* name;
        std::uint16_t receiver;
        Bytes signature;
        bool required;
        bool rejectAll;
        bool accepted;
    } rows[] = {
        {"plain, unsigned", 0xC510, {}, false, false, true},
        {"plain, signed", 0xC511, Bytes(good.begin(), good.end()), false, false, true},
        {"plain, wrong signature", 0xC510, wrong, false, false, false},
        {"plain, signature required and missing", 0xC510, {}, true, false, false},
        {"buffered, unsigned", 0xC520, {}, false, false, true},
        {"buffered, signed", 0xC530, Bytes(good.begin(), good.end()), true, false, true},
        {"buffered, wrong signature", 0xC531, wrong, false, false, false},
        {"buffered, every signature refused", 0xC521, Bytes(good.begin(), good.end()), false, true, false},
        {"fen-marl, signed", 0xC540, Bytes(good.begin(), good.end()), false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start(row.receiver, row.required);
        rx->bootloader()->model().set_reject_signature(row.rejectAll);
        const SimReceiverFirmware before = rx->firmware();
        Flasher flasher(*port);
        const SimBootloaderConfig& c = rx->bootloader()->model().config();
        const bool buffered = c.family != SimBootloaderFamily::PureHid;
        const std::uint8_t last = buffered ? flasher.program_buffered(image, row.signature)
                                           : flasher.program_plain(image, row.signature, c.windowEnd, c.pageSize);
        EXPECT_EQ(last, row.accepted ? (buffered ? 0xD0 : 0x20) : 0xFF);
        // What was written reads back; the rest of the area is erased.
        for (std::size_t a : {std::size_t(0), std::size_t(16), std::size_t(992)}) {
            const Bytes r = flasher.transfer(0x10, static_cast<std::uint16_t>(a), 16);
            ASSERT_EQ(r.size(), 33u);
            EXPECT_EQ(Bytes(r.begin() + 5, r.begin() + 21), Flasher::slice(image, a, 16)) << a;
        }
        const SimReceiverVersion after = version_after_restart(flasher);
        EXPECT_EQ(!rx->in_bootloader(), row.accepted);
        EXPECT_EQ(rx->hid().is_present(), row.accepted);
        EXPECT_EQ(after.release, row.accepted ? before.updated.release : before.version.release);
        if (row.accepted) {
            HidPort again(rx->hid().short_collection());
            const Bytes v = again.ask({0x10, 0xFF, 0x81, 0xF1, 1, 0, 0});
            ASSERT_EQ(v.size(), 7u);
            EXPECT_EQ(v[6], before.updated.release);
        }
        port.reset();
        rx.reset();
    }
}

TEST_F(Bootloader, WritingOutsideTheWindowOrWithoutEraseDoesNotMakeAnImage)
{
    start(0xC510);
    Flasher flasher(*port);
    EXPECT_EQ(flasher.echo(0x20, 0xDFF8, 16, Bytes(16, 0x00)), 0xFF);   // runs past the window's end
    EXPECT_EQ(flasher.echo(0x30, 0xE000, 1), 0xFF);
    EXPECT_TRUE(flasher.transfer(0xD0, 0, 1, {0}, 100ms).empty());   // not a buffered bootloader
    EXPECT_EQ(port->error(), static_cast<DWORD>(WAIT_TIMEOUT));
    // Flash keeps only cleared bits: writing twice without erasing leaves the AND of both.
    EXPECT_EQ(flasher.echo(0x20, 0x100, 1, {0xF0}), 0x20);
    EXPECT_EQ(flasher.echo(0x20, 0x100, 1, {0x0F}), 0x20);
    EXPECT_EQ(flasher.transfer(0x10, 0x100, 16)[5], 0x00);
}

TEST_F(Bootloader, FaultsAnswerAsSwitched)
{
    struct Row {
        const char* name;
        SimBootloader::Fault fault;
        bool silentVersion;
    } rows[] = {
        {"no reply to the third write", {SimBootloader::FaultAction::NoReply, 0x20, 3}, false},
        {"wrong echo to the second erase", {SimBootloader::FaultAction::WrongEcho, 0x30, 2}, false},
        {"unplugged after the second write", {SimBootloader::FaultAction::Unplug, 0x20, 2}, false},
        {"silent version commands", {}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start(0xC510);
        auto& model = rx->bootloader()->model();
        model.set_fault(row.fault);
        model.set_silent_version(row.silentVersion);
        Flasher flasher(*port);
        if (row.silentVersion) {
            EXPECT_TRUE(flasher.transfer(0x50, 0, 0, {}, 100ms).empty());
            EXPECT_TRUE(flasher.transfer(0xA0, 0, 0, {}, 100ms).empty());
            EXPECT_EQ(flasher.echo(0x90), 0x90);
        } else {
            const std::uint8_t command = row.fault.command;
            for (unsigned k = 1; k < row.fault.occurrence; ++k)
                EXPECT_EQ(flasher.echo(command, static_cast<std::uint16_t>(0x200 * k), 1, {0}), command);
            const bool silent = row.fault.action == SimBootloader::FaultAction::NoReply;
            const Bytes r = flasher.transfer(command, 0x1000, 1, {0}, silent ? 200ms : 5s);
            switch (row.fault.action) {
            case SimBootloader::FaultAction::NoReply:
                EXPECT_TRUE(r.empty());
                EXPECT_EQ(flasher.echo(command, 0x1200, 1, {0}), command);   // the next one is answered
                break;
            case SimBootloader::FaultAction::WrongEcho:
                ASSERT_FALSE(r.empty());
                EXPECT_NE(r[1], command);
                break;
            default:
                ASSERT_FALSE(r.empty());
                EXPECT_EQ(r[1], command);
                EXPECT_TRUE(port->read(5s).empty());
                EXPECT_EQ(port->error(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
                EXPECT_FALSE(rx->bootloader()->is_present());
                break;
            }
        }
        port.reset();
        rx.reset();
    }
}

}  // namespace
