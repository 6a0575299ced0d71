// The pairing bus, its remembered devices and "paired.xml", over fake child and Bluetooth buses.
#include "PairingRig.h"

#include "bluetooth/PairedFile.h"

#include <sim/FileFaults.h>
#include <windows.h>

#include <filesystem>

namespace {

using namespace bt_test;

constexpr char kRadio[] = "\\\\?\\bthenum#radio1";
constexpr char kKbPath[] = "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b001#kb";
constexpr char kLePath[] = "\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&027e51_pid&b010#le";
constexpr char kGattPath[] = "\\\\?\\bthledevice#{00010000-0000-1000-8000-011f20007e51}_dev_vid&027e51_pid&b010#g";

// A classic keyboard linked on the radio, with its HID collection: its link state and collection.
std::pair<std::shared_ptr<FakeBtDevice>, std::shared_ptr<FakeHw>> add_connected_keyboard(PairingRig& rig)
{
    auto live = rig.bt->add(kKbPath, "0000:00:00BB02", BluetoothClassic);
    live->connected = true;
    live->radio = kRadio;
    rig.bt->radios.insert(kRadio);
    auto hid = std::make_shared<FakeHw>(kKbPath, 0xB001, TransportUsbHid, "Sim Keyboard");
    rig.child->devices.push_back(hid);
    return {live, hid};
}

TEST(PairedFile, RoundTripsByteForByteAndReadsStoulNumbers)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<devices>\n"
                             "\t<device path=\"a&amp;b\" pid=\"B001\" name=\"K &lt;1&gt;\" radio=\"unknown\" "
                             "interface=\"bluetooth\"/>\n"
                             "\t<device path=\"c\" pid=\"AB\" name=\"\" radio=\"r\" interface=\"blepp\"/>\n"
                             "</devices>\n\n";
    const auto entries = parse_paired_file(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "a&b");
    EXPECT_EQ(entries[0].name, "K <1>");
    EXPECT_EQ(print_paired_file(entries), text);
    EXPECT_EQ(print_paired_file({}), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<devices/>\n\n");

    struct Case {
        const char* text;
        long long expected;  // -1 invalid, -2 out of range
    };
    const Case pids[] = {{"ab", 0xAB},   {"B001", 0xB001},     {"0x1f", 0x1F},     {"  12", 0x12},
                         {"12zz", 0x12}, {"FFFFFFFF", 0xFFFFFFFF}, {"zz", -1},     {"", -1},
                         {"100000000", -2}, {"-1", -2}};
    for (const Case& c : pids) {
        SCOPED_TRACE(c.text);
        if (c.expected >= 0) {
            EXPECT_EQ(parse_paired_pid(c.text), static_cast<std::uint32_t>(c.expected));
        } else if (c.expected == -1) {
            EXPECT_THROW(parse_paired_pid(c.text), std::invalid_argument);
        } else {
            EXPECT_THROW(parse_paired_pid(c.text), std::out_of_range);
        }
    }
    EXPECT_EQ(format_paired_pid(0xAB), "AB");
}

TEST(PairedFile, ReadsWhatItCanAndRejectsWhatTheParserRejects)
{
    struct Case {
        const char* name;
        std::string text;
        int entries;  // -1: rejected
    };
    const Case cases[] = {
        {"no declaration", "<devices><device path='p' pid='1' name='n' radio='r' interface='x'/></devices>", 1},
        {"byte-order mark", "\xEF\xBB\xBF<devices><device path='p' pid='1' name='n' radio='r' interface='x'/></devices>",
         1},
        {"attribute missing", "<devices><device path='p' pid='1' name='n' radio='r'/></devices>", 0},
        {"siblings of any name", "<devices><x/><device path='p' pid='1' name='n' radio='r' interface='x'/>"
                                 "<other path='q' pid='2' name='n' radio='r' interface='x'/></devices>",
         2},
        {"no devices element", "<other/>", 0},
        {"empty devices", "<devices/>", 0},
        {"text at the top", "garbage", -1},
        {"unclosed", "<devices><device", -1},
        {"empty file", "", 0},
        {"nested without end", std::string(5000, '<') , -1},
        {"deep nesting", [] {
             std::string s;
             for (int i = 0; i < 10000; ++i)
                 s += "<a>";
             return s;
         }(),
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.entries < 0) {
            EXPECT_THROW(parse_paired_file(c.text), PairedFileError);
        } else {
            EXPECT_EQ(parse_paired_file(c.text).size(), static_cast<std::size_t>(c.entries));
        }
    }
}

TEST(PairedFile, PrintsOnlyWhatReadsBack)
{
    // rapidxml decodes character references; its printer writes the characters raw, and a NUL ends
    // the text at the next load.
    struct Case {
        const char* name;
        const char* value;
        bool writable;
    };
    const Case cases[] = {
        {"NUL without digits", "&#;", false},  {"NUL", "&#0;", false},       {"control character", "&#x1B;", false},
        {"tab", "&#9;", true},                 {"raw line feed", "a\nb", true}, {"DEL", "&#127;", true},
        {"beyond ASCII", "&#xE9;", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entries = parse_paired_file(
            std::string("<devices><device path='p' pid='1' name='") + c.value +
            "' radio='r' interface='bluetooth'/><device path='q' pid='2' name='' radio='r' interface='x'/></devices>");
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(paired_entry_writable(entries[0]), c.writable);
        const auto again = parse_paired_file(print_paired_file(entries));
        ASSERT_EQ(again.size(), c.writable ? 2u : 1u);
        EXPECT_EQ(again.front().name, c.writable ? entries[0].name : "");
        EXPECT_EQ(again.back().path, "q");
    }
}

TEST(PairingBus, AnEntryThatCannotBeSavedIsDroppedAtLoadAndTheOthersSurvive)
{
    TempDir dir;
    dir.write("<devices><device path='a' pid='1' name='A' radio='unknown' interface='bluetooth'/>"
              "<device path='b' pid='2' name='B&#0;' radio='unknown' interface='bluetooth'/>"
              "<device path='c' pid='3' name='C' radio='unknown' interface='bluetooth'/></devices>");
    // Every start loads the file and saves it: the second start reads what the first wrote.
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        PairingRig rig;
        for (const char* path : {"a", "b", "c"})
            rig.bt->add(path, std::string("0000:00:00000") + path, BluetoothClassic);
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        EXPECT_EQ(rig.errors.errors, start == 1 ? std::vector<std::string>{"PairingBus::setDataDirectory|1|paired.xml "
                                                                           "entry with a control character"}
                                                : std::vector<std::string>{});
        std::vector<std::string> names;
        for (const auto& device : bus->remembered())
            names.push_back(device->getPath() + "=" + device->getName());
        EXPECT_EQ(names, (std::vector<std::string>{"a=A", "c=C"}));
        EXPECT_EQ(dir.read(), print_paired_file({{"a", "1", "A", "unknown", "bluetooth"},
                                                 {"c", "3", "C", "unknown", "bluetooth"}}));
    }

    // A live device whose name cannot be written is left out of the file, not written raw.
    PairingRig rig;
    rig.bt->add("d", "0000:00:00000d", BluetoothClassic);
    rig.child->devices.push_back(std::make_shared<FakeHw>("d", 0xB001, TransportUsbHid, std::string("D\0", 2)));
    auto bus = rig.make_bus();
    bus->enumerate();
    bus->setDataDirectory(dir.dir());
    EXPECT_TRUE(rig.remembered("d"));
    EXPECT_EQ(dir.read().find("\"d\""), std::string::npos);
    ASSERT_FALSE(rig.errors.errors.empty());
    EXPECT_EQ(rig.errors.errors.back(), "PairingBus::save|1|paired.xml entry with a control character");
}

TEST(PairingBus, KeepsItsFileInAFolderNamedInAnotherScriptAndKeepsItWhenAWriteFails)
{
    TempDir dir("\xD0\x9F\xD0\xBE\xD0\xBB\xD1\x8C\xD0\xB7\xD0\xBE\xD0\xB2\xD0\xB0\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C");
    std::string saved;
    {
        PairingRig rig;
        add_connected_keyboard(rig);
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        saved = dir.read();
        EXPECT_NE(saved.find("Sim Keyboard"), std::string::npos) << saved;

        // The disk is full: the save that forgets the device fails, and the file stays as it was.
        struct WritesFail {
            WritesFail() { platform::sim::set_file_writes_fail(true); }
            ~WritesFail() { platform::sim::set_file_writes_fail(false); }
        } writesFail;
        rig.bt->by_path.erase(kKbPath);
        bus->refresh();
        EXPECT_FALSE(rig.remembered(kKbPath));
        EXPECT_EQ(dir.read(), saved);
    }
    // The next start finds the device in the same folder.
    PairingRig rig;
    rig.bt->add(kKbPath, "0000:00:00BB02", BluetoothClassic);
    auto bus = rig.make_bus();
    bus->enumerate();
    bus->setDataDirectory(dir.dir());
    auto device = rig.remembered(kKbPath);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->getName(), "Sim Keyboard");
}

TEST(PairingBus, ASaveThatDoesNotReachTheDiskKeepsTheOldFileAndIsReported)
{
    struct Case {
        const char* name;
        void (*fail)(bool);
        unsigned long error;
    };
    const Case cases[] = {
        {"the disk is full", platform::sim::set_file_writes_fail, ERROR_DISK_FULL},
        {"the data written cannot be flushed", platform::sim::set_file_flushes_fail, ERROR_IO_DEVICE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PairingRig rig;
        TempDir dir;
        add_connected_keyboard(rig);
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        const std::string saved = dir.read();
        ASSERT_NE(saved.find("Sim Keyboard"), std::string::npos) << saved;
        // A save is on the disk when it is done: a power cut right after it keeps it.
        platform::sim::cut_power();
        EXPECT_EQ(dir.read(), saved);
        EXPECT_TRUE(rig.errors.errors.empty());

        c.fail(true);
        rig.bt->by_path.erase(kKbPath);
        bus->refresh();
        c.fail(false);
        EXPECT_FALSE(rig.remembered(kKbPath));
        EXPECT_EQ(dir.read(), saved);
        EXPECT_EQ(rig.errors.errors, std::vector<std::string>{"PairingBus::save|1|paired.xml could not be written"});
        EXPECT_EQ(rig.errors.details, std::vector<unsigned long>{c.error});
        EXPECT_FALSE(std::filesystem::exists(platform::sim::host_path(dir.file() + ".tmp")));

        // The next save writes what the bus knows by then.
        rig.child->unplug(kKbPath);
        rig.drain();
        EXPECT_EQ(dir.read(), print_paired_file({}));
    }
}

TEST(PairingBus, AFileThatCannotBeReadIsNotSavedOverUntilItIsRead)
{
    struct Case {
        const char* name;
        bool shared;  // else: a read error
        unsigned long error;
    };
    const Case cases[] = {
        {"another program holds it unshared", true, ERROR_SHARING_VIOLATION},
        {"reading fails", false, ERROR_READ_FAULT},
    };
    const std::string text = print_paired_file({{"classic", "B001", "Kept", "unknown", "bluetooth"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PairingRig rig;
        TempDir dir;
        rig.bt->add("classic", "0000:00:000001", BluetoothClassic);
        auto second = rig.bt->add("second", "0000:00:000002", BluetoothClassic);
        second->connected = true;
        second->radio = kRadio;
        rig.bt->radios.insert(kRadio);
        dir.write(text);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.shared) {
            held = CreateFileA(dir.file().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        } else {
            platform::sim::set_file_reads_fail(true);
        }
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        EXPECT_EQ(rig.errors.errors,
                  std::vector<std::string>{"PairingBus::setDataDirectory|1|paired.xml could not be read"});
        EXPECT_EQ(rig.errors.details, std::vector<unsigned long>{c.error});
        EXPECT_EQ(dir.read(), text);
        EXPECT_FALSE(rig.remembered("classic"));

        // A device plugged meanwhile is remembered but not saved over the file.
        rig.child->plug(std::make_shared<FakeHw>("second", 0xB002, TransportUsbHid, "Second"));
        rig.drain();
        EXPECT_TRUE(rig.remembered("second"));
        EXPECT_EQ(dir.read(), text);
        ASSERT_EQ(rig.errors.errors.size(), 2u);
        EXPECT_EQ(rig.errors.errors[1], "PairingBus::save|1|paired.xml that could not be read is not saved over");
        EXPECT_EQ(rig.errors.details[1], c.error);

        // Once it reads, the next event loads it and saves both.
        if (c.shared)
            CloseHandle(held);
        else
            platform::sim::set_file_reads_fail(false);
        rig.child->unplug("second");
        rig.drain();
        auto kept = rig.remembered("classic");
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->getName(), "Kept");
        const std::string saved = dir.read();
        EXPECT_NE(saved.find("path=\"classic\" pid=\"B001\" name=\"Kept\""), std::string::npos) << saved;
        EXPECT_NE(saved.find("path=\"second\""), std::string::npos) << saved;
        EXPECT_EQ(rig.errors.errors.size(), 2u);
    }
}

TEST(PairingBus, AFileThatIsNotThereStartsEmptyAndIsSaved)
{
    struct Case {
        const char* name;
        const char* folder;  // below the rig's folder
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {"no file", "", {}},
        // Nothing to lose: the save that cannot make the file is reported, and the next one makes it.
        {"no folder", "later\\", {"PairingBus::save|1|paired.xml could not be written"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PairingRig rig;
        TempDir dir;
        add_connected_keyboard(rig);
        auto bus = rig.make_bus();
        bus->enumerate();
        const std::string folder = dir.dir() + c.folder;
        bus->setDataDirectory(folder);
        EXPECT_EQ(rig.errors.errors, c.errors);
        EXPECT_TRUE(rig.remembered(kKbPath));
        std::filesystem::create_directories(platform::sim::host_path(folder));

        rig.child->plug(std::make_shared<FakeHw>("usb", 0xC52B, TransportUsbHid, "Wired"));
        rig.drain();
        std::string saved;
        platform::sim::read_file(folder + "paired.xml", saved);
        EXPECT_NE(saved.find("Sim Keyboard"), std::string::npos) << saved;
        EXPECT_EQ(rig.errors.errors, c.errors);
    }
}

TEST(PairingBus, UsbDevicesAreRelayedAndForgottenButNeverSaved)
{
    PairingRig rig;
    TempDir dir;
    auto usb = std::make_shared<FakeHw>("usb-kb", 0xC52B, TransportUsbHid, "Wired");
    rig.child->devices.push_back(usb);
    auto bus = rig.make_bus();
    auto found = bus->enumerate();
    ASSERT_EQ(found.size(), 1u);
    bus->setDataDirectory(dir.dir());
    EXPECT_EQ(dir.read().find("usb-kb"), std::string::npos);

    auto device = rig.remembered("usb-kb");
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->isConnected());
    EXPECT_TRUE(device->is_available());
    EXPECT_EQ(device->getTransportType(), TransportUsbHid);
    ASSERT_TRUE(device->write({0x10, 1, 2}, false));
    EXPECT_EQ(usb->written.size(), 1u);

    rig.child->unplug("usb-kb");
    rig.drain();
    EXPECT_EQ(rig.plugs.log, (std::vector<std::string>{"+usb-kb", "-usb-kb"}));
    EXPECT_FALSE(rig.remembered("usb-kb"));
    std::vector<std::string> paths;
    device->appendPaths(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"usb-kb"}));
}

TEST(PairingBus, LowEnergyChannelsAreRoutedByItemThree)
{
    struct Case {
        const char* name;
        bool item2, item3;
        std::uint32_t rememberedTransport;  // which collection becomes the device
        bool channelAttached;
    };
    const Case cases[] = {
        {"runtime off: HID collection, GATT channel", true, false, TransportBluetoothLE, true},
        {"item 3: GATT device, HID channel", true, true, TransportGatt, true},
        {"item 2 off: the channel is dropped", false, false, TransportBluetoothLE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PairingRig rig(c.item2, c.item3);
        auto live = rig.bt->add(kLePath, "0000:00:00AA01", BluetoothLowEnergy);
        rig.bt->add(kGattPath, "0000:00:00AA01", BluetoothLowEnergy);
        live->connected = true;
        live->radio = kRadio;
        rig.bt->radios.insert(kRadio);
        // The channel arrives first and is parked until its device is made.
        auto hid = std::make_shared<FakeHw>(kLePath, 0xB010, TransportUsbHid);
        auto gatt = std::make_shared<FakeHw>(kGattPath, 0xB010, TransportGatt);
        const bool gattIsDevice = c.rememberedTransport == TransportGatt;
        rig.child->devices = {gattIsDevice ? hid : gatt, gattIsDevice ? gatt : hid};
        auto bus = rig.make_bus();
        auto found = bus->enumerate();
        ASSERT_EQ(found.size(), 1u);
        auto device = std::dynamic_pointer_cast<PairingDevice>(found[0]);
        EXPECT_EQ(device->getPath(), gattIsDevice ? kGattPath : kLePath);
        EXPECT_EQ(device->getTransportType(), TransportBluetoothLE);
        EXPECT_EQ(device->getSubIndex(), gattIsDevice ? 2u : 1u);
        EXPECT_EQ(device->secondary_path(), c.channelAttached ? (gattIsDevice ? kLePath : kGattPath) : "");
        EXPECT_EQ(device->radio(), kRadio);

        // The channel's removal, by a placeholder of its path, detaches it.
        rig.child->unplug(gattIsDevice ? kLePath : kGattPath);
        rig.drain();
        EXPECT_EQ(device->secondary_path(), "");
    }
}

TEST(PairingBus, BluetoothDevicesSurviveTheirCollectionAndFollowTheirLink)
{
    PairingRig rig;
    TempDir dir;
    auto [live, hid] = add_connected_keyboard(rig);
    auto bus = rig.make_bus();
    ASSERT_EQ(bus->enumerate().size(), 1u);
    bus->setDataDirectory(dir.dir());
    const std::string saved = dir.read();
    EXPECT_NE(saved.find("pid=\"B001\""), std::string::npos);
    EXPECT_NE(saved.find("interface=\"bluetooth\""), std::string::npos);

    auto device = rig.remembered(kKbPath);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->isConnected());
    EXPECT_TRUE(device->write({0x10, 1}, false));

    // The collection goes while the radio stays: the device stays announced.
    rig.child->unplug(kKbPath);
    rig.drain();
    EXPECT_EQ(rig.plugs.log, (std::vector<std::string>{"+" + std::string(kKbPath)}));
    EXPECT_FALSE(device->has_primary());
    EXPECT_FALSE(device->write({0x10, 1}, false));
    EXPECT_EQ(last_error().code, 5u);

    // The link goes down: writes fail at once even with the collection back.
    rig.child->plug(hid);
    rig.drain();
    EXPECT_TRUE(device->has_primary());
    live->disconnect();
    rig.drain();
    EXPECT_FALSE(device->write({0x10, 1}, false));
    EXPECT_EQ(last_error().code, 5u);
    live->connect(kRadio);
    rig.drain();
    EXPECT_TRUE(device->write({0x10, 1}, false));

    // Unpaired from its radio while the radio has gone: forgotten and left out of the file.
    rig.bt->radio_leaves(kRadio);
    EXPECT_EQ(rig.plugs.log.back(), "-" + std::string(kKbPath));
    live->unpair("\\\\?\\other-radio");
    rig.drain();
    EXPECT_EQ(device->radio(), kRadio);  // another radio's unpairing keeps it
    live->unpair(kRadio);
    rig.drain();
    EXPECT_FALSE(rig.remembered(kKbPath));
    EXPECT_EQ(dir.read().find(kKbPath), std::string::npos);
}

TEST(PairingBus, RadioArrivalReannouncesItsDevicesAndForgetsLostPairings)
{
    PairingRig rig;
    TempDir dir;
    auto kept = rig.bt->add("kept", "0000:00:000001", BluetoothClassic);
    auto lost = rig.bt->add("lost", "0000:00:000002", BluetoothClassic);
    auto failing = rig.bt->add("failing", "0000:00:000003", BluetoothClassic);
    for (auto& live : {kept, lost, failing}) {
        live->connected = true;
        live->radio = kRadio;
    }
    rig.bt->radios.insert(kRadio);
    for (const char* path : {"kept", "lost", "failing"})
        rig.child->devices.push_back(std::make_shared<FakeHw>(path, 0xB001, TransportUsbHid));
    auto bus = rig.make_bus();
    ASSERT_EQ(bus->enumerate().size(), 3u);
    bus->setDataDirectory(dir.dir());
    rig.plugs.log.clear();

    lost->paired = false;
    failing->verify_fails = true;
    rig.bt->radio_arrives(kRadio);
    EXPECT_EQ(rig.plugs.log, (std::vector<std::string>{"+failing", "+kept"}));
    EXPECT_FALSE(rig.remembered("lost"));
    EXPECT_TRUE(rig.remembered("failing"));
    ASSERT_FALSE(rig.errors.errors.empty());
    EXPECT_EQ(rig.errors.errors.back().rfind("PairingDevice verify_pairing failed", 0), 0u);
    EXPECT_EQ(dir.read().find("\"lost\""), std::string::npos);
    EXPECT_NE(dir.read().find("\"kept\""), std::string::npos);

    // refresh forgets what no Bluetooth bus knows any more, and leaves the file alone otherwise.
    TempDir().write("");  // unrelated directory: nothing to do with this bus
    rig.plugs.log.clear();
    bus->refresh();
    EXPECT_TRUE(rig.plugs.log.empty());
    rig.bt->by_path.erase("kept");
    bus->refresh();
    EXPECT_EQ(rig.plugs.log, (std::vector<std::string>{"-kept"}));
    EXPECT_FALSE(rig.remembered("kept"));
}

TEST(PairingBus, LoadsRememberedDevicesByTheirLiveDeviceAndConfiguration)
{
    struct Case {
        const char* name;
        bool item3;
        const char* path;
        const char* radio;
        const char* interfaceName;
        bool loaded;
    };
    const Case cases[] = {
        {"classic", false, "classic", "unknown", "bluetooth", true},
        {"classic with item 3", true, "classic", "unknown", "bluetooth", true},
        {"LE bletessel", false, "le", "unknown", "bletessel", true},
        {"LE bletessel with item 3", true, "le", "unknown", "bletessel", false},
        {"LE blepp", false, "le", "unknown", "blepp", false},
        {"LE blepp with item 3", true, "le", "unknown", "blepp", true},
        {"empty radio", false, "classic", "", "bluetooth", false},
        {"unknown to every Bluetooth bus", false, "nowhere", "unknown", "bluetooth", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PairingRig rig(true, c.item3);
        TempDir dir;
        rig.bt->add("classic", "0000:00:000001", BluetoothClassic);
        rig.bt->add("le", "0000:00:000002", BluetoothLowEnergy);
        rig.bt->radios.insert(kRadio);
        dir.write(print_paired_file({{c.path, "ab", "Name", c.radio, c.interfaceName}}));
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        auto device = rig.remembered(c.path);
        EXPECT_EQ(bool(device), c.loaded);
        if (!device)
            continue;
        EXPECT_EQ(device->getProductId(), 0xAB);
        EXPECT_EQ(rig.plugs.log, (std::vector<std::string>{"+" + std::string(c.path)}));
        EXPECT_EQ(dir.read(), print_paired_file({{c.path, "AB", "Name", c.radio, c.interfaceName}}));
    }
}

TEST(PairingBus, ADamagedFileIsReportedKeepsWhatItMadeAndStaysAsItIs)
{
    const std::string text = "<devices><device path='classic'";
    PairingRig rig;
    TempDir dir;
    rig.bt->add("classic", "0000:00:000001", BluetoothClassic);
    dir.write(text);
    auto bus = rig.make_bus();
    bus->enumerate();
    bus->setDataDirectory(dir.dir());
    ASSERT_EQ(rig.errors.errors.size(), 1u);
    EXPECT_EQ(rig.errors.errors[0].rfind("PairingBus::setDataDirectory|1|", 0), 0u);
    EXPECT_EQ(dir.read(), text);
    EXPECT_FALSE(rig.remembered("classic"));
}

TEST(PairingBus, AProductIdThatDoesNotReadCostsOnlyItsOwnEntry)
{
    const struct {
        const char* pid;
        const char* error;
    } rows[] = {{"zz", "invalid stoul argument"}, {"123456789", "stoul argument out of range"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pid);
        PairingRig rig;
        TempDir dir;
        rig.bt->add("first", "0000:00:000001", BluetoothClassic);
        rig.bt->add("bad", "0000:00:000002", BluetoothClassic);
        rig.bt->add("last", "0000:00:000003", BluetoothClassic);
        dir.write(print_paired_file({{"first", "1", "", "unknown", "bluetooth"},
                                     {"bad", row.pid, "", "unknown", "bluetooth"},
                                     {"last", "3", "", "unknown", "bluetooth"}}));
        auto bus = rig.make_bus();
        bus->enumerate();
        bus->setDataDirectory(dir.dir());
        ASSERT_EQ(rig.errors.errors.size(), 1u);
        EXPECT_NE(rig.errors.errors[0].find(row.error), std::string::npos) << rig.errors.errors[0];
        ASSERT_TRUE(rig.remembered("first"));
        ASSERT_TRUE(rig.remembered("last"));
        EXPECT_EQ(rig.remembered("last")->getProductId(), 3u);
        EXPECT_FALSE(rig.remembered("bad"));

        // What was saved loads again without a report and keeps both good entries.
        PairingRig again;
        again.bt->add("first", "0000:00:000001", BluetoothClassic);
        again.bt->add("last", "0000:00:000003", BluetoothClassic);
        auto reloaded = again.make_bus();
        reloaded->enumerate();
        reloaded->setDataDirectory(dir.dir());
        EXPECT_TRUE(again.errors.errors.empty());
        EXPECT_TRUE(again.remembered("first"));
        EXPECT_TRUE(again.remembered("last"));
    }
}

TEST(PairingBus, KnownDevicesTakeOnlyAnEmptyNameFromTheFile)
{
    PairingRig rig;
    TempDir dir;
    auto live = rig.bt->add("kb", "0000:00:000001", BluetoothClassic);
    live->connected = true;
    live->radio = kRadio;
    rig.bt->radios.insert(kRadio);
    rig.child->devices.push_back(std::make_shared<FakeHw>("kb", 0xB001, TransportUsbHid, ""));
    dir.write(print_paired_file({{"kb", "1234", "From File", "other-radio", "bluetooth"}}));
    auto bus = rig.make_bus();
    bus->enumerate();
    bus->setDataDirectory(dir.dir());
    auto device = rig.remembered("kb");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->getProductId(), 0xB001);
    EXPECT_EQ(device->radio(), kRadio);
    EXPECT_EQ(device->getName(), "From File");
    // Enumerated twice: nothing new, same devices.
    EXPECT_EQ(bus->enumerate().size(), 1u);
    EXPECT_EQ(bus->remembered().size(), 1u);
    // An empty directory leaves the file alone.
    bus->setDataDirectory("");
    EXPECT_EQ(bus->paired_file_path(), "");
}

TEST(PairingDevice, RelaysReadsOfBothChannelsAndWritesOfItsPrimary)
{
    PairingRig rig;
    auto bus = rig.make_bus();
    auto live = rig.bt->add("le", "0000:00:000009", BluetoothLowEnergy);
    live->connected = true;
    live->radio = kRadio;
    rig.bt->radios.insert(kRadio);
    auto primary = std::make_shared<FakeHw>("le", 0xB010, TransportUsbHid);
    auto channel = std::make_shared<FakeHw>("le-gatt", 0xB010, TransportGatt);
    auto device = PairingDevice::create(bus, primary, "le", 0xB010, "", live, "unknown", 0);
    struct Relay : Subscriber<IHardwareDevice::Read>, Subscriber<IHardwareDevice::Write> {
        std::vector<std::vector<Byte>> reads, writes;
        void onRead(std::vector<Byte> d, bool, unsigned, unsigned) override { reads.push_back(d); }
        void onWrite(std::vector<Byte> d, ErrorCode, unsigned) override { writes.push_back(d); }
    } relay;
    ASSERT_TRUE(relay.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, ""));
    ASSERT_TRUE(relay.Subscriber<IHardwareDevice::Write>::subscribe(device, 1, ""));
    EXPECT_TRUE(device->isConnected());
    EXPECT_EQ(device->radio(), kRadio);
    ASSERT_TRUE(device->open());
    device->attach_secondary(channel);
    EXPECT_EQ(channel->opens, 1);  // opened with the device
    primary->read({0x11, 1});
    channel->read({0x11, 2});
    ASSERT_TRUE(device->write({0x10, 0xFF, 3}, false));
    EXPECT_EQ(relay.reads, (std::vector<std::vector<Byte>>{{0x11, 1}, {0x11, 2}}));
    EXPECT_EQ(relay.writes, (std::vector<std::vector<Byte>>{{0x10, 0xFF, 3}}));
    EXPECT_TRUE(channel->written.empty());  // the channel is never written
    // A detached channel's reads no longer arrive; a placeholder of another path detaches nothing.
    EXPECT_FALSE(device->detach_secondary(std::make_shared<FakeHw>("other", 0, 0)));
    EXPECT_TRUE(device->detach_secondary(std::make_shared<FakeHw>("le-gatt", 0, 0)));
    channel->read({0x11, 3});
    EXPECT_EQ(relay.reads.size(), 2u);
    device->close();
    EXPECT_EQ(primary->closes, 1);
}

// A subscriber may let go of the last reference to the device from inside a relayed event (a
// receiver bus that ends on its reader thread): the device ends after the relay, not under it.
TEST(PairingDevice, ALastOwnerLettingGoInsideARelayEndsItAfterTheRelay)
{
    PairingRig rig;
    auto bus = rig.make_bus();
    auto live = rig.bt->add("le", "0000:00:000009", BluetoothLowEnergy);
    auto primary = std::make_shared<FakeHw>("le", 0xB010, TransportUsbHid);
    struct Owner : Subscriber<IHardwareDevice::Read>, Subscriber<IHardwareDevice::Write>,
                   Subscriber<IHardwareDevice::FastDisconnect> {
        std::shared_ptr<PairingDevice> device;
        std::weak_ptr<PairingDevice> watched;
        int events = 0;
        void let_go()
        {
            ++events;
            device.reset();
        }
        void onRead(std::vector<Byte>, bool, unsigned, unsigned) override { let_go(); }
        void onWrite(std::vector<Byte>, ErrorCode, unsigned) override { let_go(); }
        void onFastDisconnect() override { let_go(); }
    };
    const std::pair<const char*, std::function<void(FakeHw&)>> events[] = {
        {"read", [](FakeHw& hw) { hw.read({0x11, 1}); }},
        {"write", [](FakeHw& hw) { hw.write({0x10, 0xFF, 3}, false); }},
        {"fast disconnect", [](FakeHw& hw) { hw.fast_disconnect(); }},
    };
    for (const auto& [name, send] : events) {
        SCOPED_TRACE(name);
        Owner owner;
        owner.device = PairingDevice::create(bus, primary, "le", 0xB010, "", live, "unknown", 0);
        owner.watched = owner.device;
        // Two subscribers, so that the relay goes on past the one that lets go.
        Owner other;
        for (Owner* o : {&owner, &other}) {
            ASSERT_TRUE(o->Subscriber<IHardwareDevice::Read>::subscribe(owner.device, 1, ""));
            ASSERT_TRUE(o->Subscriber<IHardwareDevice::Write>::subscribe(owner.device, 1, ""));
            ASSERT_TRUE(o->Subscriber<IHardwareDevice::FastDisconnect>::subscribe(owner.device, 1, ""));
        }
        ASSERT_TRUE(owner.device->open());
        send(*primary);
        EXPECT_EQ(owner.events + other.events, 2);
        EXPECT_TRUE(owner.watched.expired());
    }
}

TEST(PairingDevice, AnswersFromItsLiveDeviceAndRadio)
{
    PairingRig rig;
    auto bus = rig.make_bus();
    auto live = rig.bt->add("p", "0000:00:000001", BluetoothClassic);
    struct Case {
        const char* name;
        const char* radio;
        bool paired;
        bool gone;
        const char* radioAfter;
        int verifications;
    };
    const Case cases[] = {
        {"unknown radio", "unknown", true, false, "unknown", 1},
        {"empty radio, not asked", "", true, true, "", 0},
        {"pairing dropped", kRadio, false, true, "", 1},
        {"still paired", kRadio, true, false, kRadio, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        live->paired = c.paired;
        live->verifications = 0;
        auto device = PairingDevice::create(bus, nullptr, "p", 1, "", live, c.radio, 0);
        EXPECT_EQ(device->verify_pairing(), c.gone);
        EXPECT_EQ(device->radio(), c.radioAfter);
        EXPECT_EQ(live->verifications, c.verifications);
        std::vector<std::string> paths;
        device->appendPaths(paths);
        EXPECT_EQ(paths, (std::vector<std::string>{"p"}));
        EXPECT_EQ(device->getSubIndex(), 0u);
    }
    // A second connect only moves the radio.
    live->paired = true;
    auto hid = std::make_shared<FakeHw>("p", 1, TransportUsbHid);
    auto device = PairingDevice::create(bus, hid, "p", 1, "", live, "unknown", 0);
    rig.plugs.log.clear();
    device->onBtConnect(kRadio);
    device->onBtConnect("\\\\?\\radio2");
    EXPECT_EQ(device->radio(), "\\\\?\\radio2");
    EXPECT_TRUE(rig.plugs.log.empty());  // no radio present: not available, not announced
}

} // namespace
