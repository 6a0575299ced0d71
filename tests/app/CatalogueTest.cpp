// The built-in catalogue: its rows against the product ids, the generated images, the
// simulated receivers and the default scenario; the matching rules and version comparison.
#include "FirmwareCatalogue.h"

#include "devices/FirmwareSignature.h"
#include "devices/SimReceiverFirmware.h"
#include "quillon/DfuImage.h"
#include "quillon/ProductIds.h"

#include <rapidxml/rapidxml.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace ids = quillon::ids;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

std::string image_file(const char* resourcePath)
{
    const std::string prefix = ":/firmware/";
    const std::string path = resourcePath;
    EXPECT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
    return std::string(QUILLON_FIRMWARE_DIR) + "/" + path.substr(prefix.size());
}

// Flash contents of an Intel HEX image from address 0 (gaps 0xFF); empty on any fault.
std::vector<std::uint8_t> read_hex(const std::string& text)
{
    std::vector<std::uint8_t> flash;
    std::istringstream lines(text);
    std::string line;
    bool ended = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0)
            return {};
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 1; i < line.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        unsigned sum = 0;
        for (auto b : bytes)
            sum += b;
        if ((sum & 0xFF) != 0 || bytes.size() != bytes[0] + 5u)
            return {};
        const unsigned address = bytes[1] << 8 | bytes[2];
        if (bytes[3] == 0x01) {
            ended = true;
            break;
        }
        if (bytes[3] != 0x00)
            return {};
        if (flash.size() < address + bytes[0])
            flash.resize(address + bytes[0], 0xFF);
        std::copy(bytes.begin() + 4, bytes.end() - 1, flash.begin() + address);
    }
    return ended ? flash : std::vector<std::uint8_t>{};
}

TEST(Catalogue, RowsAgreeWithTheProductIds)
{
    const auto& devices = deviceFirmwareTable();
    const ids::DeviceIds known[] = {ids::kKeyboardA, ids::kKeyboardB, ids::kKeyboardC, ids::kKeyboardD,
                                    ids::kKeyboardE, ids::kKeyboardF, ids::kMouseA};
    int keyboards = 0, mice = 0, bluetooth = 0;
    std::set<std::uint32_t> productIds;
    for (const auto& row : devices) {
        SCOPED_TRACE(row.name);
        bool found = false;
        for (const auto& ids : known)
            found = found || (ids.productId == row.productId && ids.bluetoothProductId == row.bluetoothProductId);
        EXPECT_TRUE(found);
        EXPECT_TRUE(productIds.insert(row.productId).second);
        keyboards += row.kind == kFirmwareKindKeyboard;
        mice += row.kind == kFirmwareKindMouse;
        bluetooth += row.acceptBluetooth;
        // Exactly the Bluetooth-capable rows carry the image with the radio stack.
        EXPECT_EQ(row.acceptBluetooth != 0, row.secondImagePath[0] != 0);
        EXPECT_EQ(row.acceptBluetooth != 0, row.bluetoothProductId != 0);
        // A device found over Bluetooth is sent this row's images, made for its wired id: its
        // bootloader takes them by the pairing of the two ids.
        if (row.bluetoothProductId != 0) {
            EXPECT_EQ(ids::imageProductIdOf(static_cast<std::uint16_t>(row.bluetoothProductId)), row.productId);
        }
        EXPECT_EQ(ids::imageProductIdOf(static_cast<std::uint16_t>(row.productId)), row.productId);
    }
    EXPECT_EQ(keyboards, 6);
    EXPECT_EQ(mice, 1);
    EXPECT_EQ(bluetooth, 2);

    const auto& receivers = receiverFirmwareTable();
    int unsigned_ = 0;
    std::set<std::uint32_t> covered;
    for (const auto& row : receivers) {
        SCOPED_TRACE(row.hexPath);
        bool pair = false;
        for (const auto& p : ids::kCatalogueReceivers)
            pair = pair || (p.receiverProductId == row.receiverProductId &&
                            p.bootloaderProductId == row.bootloaderProductId);
        EXPECT_TRUE(pair);
        covered.insert(row.receiverProductId);
        EXPECT_STREQ(row.bootloader.prefix, "BL");
        unsigned_ += row.signaturePath[0] == 0;
        // The simulated receiver of this id runs this firmware family and comes back newer
        // than it was, as new as the row.
        const auto sim = platform::sim::default_receiver_firmware(static_cast<std::uint16_t>(row.receiverProductId));
        EXPECT_EQ(sim.bootloaderProductId, row.bootloaderProductId);
        EXPECT_EQ(sim.version.number, row.firmware.number);
        EXPECT_EQ(sim.updated.release, row.firmware.revision);
        EXPECT_EQ(sim.updated.build & 0xFF, row.firmware.build);
    }
    EXPECT_EQ(receivers.size(), 17u);
    EXPECT_EQ(unsigned_, 5);
    EXPECT_EQ(covered.size(), std::size(ids::kCatalogueReceivers));
    // Every receiver has a row for the bootloader the simulated ones run.
    for (const auto& p : ids::kCatalogueReceivers) {
        const auto sim = platform::sim::default_receiver_firmware(p.receiverProductId);
        bool exact = false;
        for (const auto& row : receivers)
            exact = exact || (row.receiverProductId == p.receiverProductId && row.bootloader.revision == sim.version.bootloaderMajor);
        EXPECT_TRUE(exact) << std::hex << p.receiverProductId;
    }
}

TEST(Catalogue, EveryImageExistsAndFitsItsRow)
{
    for (const auto& row : deviceFirmwareTable()) {
        SCOPED_TRACE(row.name);
        for (const char* path : {row.imagePath, row.secondImagePath}) {
            if (!path[0])
                continue;
            const std::string image = read_file(image_file(path));
            quillon::dfu::Header h;
            ASSERT_TRUE(quillon::dfu::decodeHeader(reinterpret_cast<const std::uint8_t*>(image.data()), image.size(), &h))
                << path;
            EXPECT_EQ(image.size(), quillon::dfu::kHeaderSize + h.length);
            EXPECT_EQ(h.productId, row.productId);
            const bool second = path == row.secondImagePath;
            EXPECT_EQ(h.radioStack, second);
            if (!second) {
                EXPECT_EQ(h.version, row.version.number << 8 | row.version.revision);
                EXPECT_EQ(h.build, row.version.build);
            }
        }
    }
    for (const auto& row : receiverFirmwareTable()) {
        SCOPED_TRACE(row.hexPath);
        const auto flash = read_hex(read_file(image_file(row.hexPath)));
        ASSERT_FALSE(flash.empty());
        EXPECT_LE(flash.size(), 0xE000u);   // inside every bootloader's application window
        if (row.signaturePath[0]) {
            const std::string signature = read_file(image_file(row.signaturePath));
            ASSERT_EQ(signature.size(), quillon::kFirmwareSignatureSize);
            const auto expected = quillon::firmwareSignature(flash);
            EXPECT_EQ(std::memcmp(signature.data(), expected.data(), expected.size()), 0);
        }
    }
}

std::string version_text(std::uint16_t number, std::uint16_t build)
{
    char text[32];
    std::snprintf(text, sizeof text, "%x.%x.%x", number >> 8, number & 0xFF, build);
    return text;
}

TEST(Catalogue, TheDefaultScenarioHoldsWhatTheWizardShows)
{
    std::string xml = read_file(QUILLON_DEFAULT_SCENARIO);
    ASSERT_FALSE(xml.empty());
    rapidxml::xml_document<> doc;
    doc.parse<0>(&xml[0]);
    auto number = [](rapidxml::xml_node<>* node, const char* name) {
        auto* a = node->first_attribute(name);
        return a ? std::stoul(a->value(), nullptr, 0) : 0ul;
    };
    // The version a protocol device shows: its application entity.
    auto device_version = [&](rapidxml::xml_node<>* node) {
        for (auto* f = node->first_node("firmware"); f; f = f->next_sibling("firmware"))
            if (number(f, "type") == 0)
                return version_text(static_cast<std::uint16_t>(number(f, "number")),
                                    static_cast<std::uint16_t>(number(f, "build")));
        return std::string();
    };
    const auto& devices = deviceFirmwareTable();
    int receivers = 0, twoImagesBehind = 0, upToDate = 0;
    for (auto* d = doc.first_node("scenario")->first_node("device"); d; d = d->next_sibling("device")) {
        const std::string kind = d->first_attribute("kind")->value();
        const auto product = static_cast<std::uint32_t>(number(d, "product"));
        SCOPED_TRACE(kind);
        if (kind == "receiver") {
            ++receivers;
            const auto* row = matchReceiverOnArrival(receiverFirmwareTable().data(), kReceiverFirmwareCount, product);
            ASSERT_TRUE(row);
            const auto sim = platform::sim::default_receiver_firmware(static_cast<std::uint16_t>(product));
            const std::string version = version_text(static_cast<std::uint16_t>(sim.version.number << 8 | sim.version.release),
                                                     sim.version.build);
            EXPECT_FALSE(isVersionUpToDate(version.c_str(), row->firmware)) << version;
            for (auto* p = d->first_node("paired"); p; p = p->next_sibling("paired")) {
                const auto* dev = matchDeviceOnArrival(devices.data(), devices.size(), static_cast<std::uint32_t>(number(p, "product")));
                ASSERT_TRUE(dev);
                EXPECT_FALSE(isVersionUpToDate(device_version(p).c_str(), dev->version)) << device_version(p);
                twoImagesBehind += dev->secondImagePath[0] != 0;
            }
        } else {
            const auto* dev = matchDeviceOnArrival(devices.data(), devices.size(), product);
            ASSERT_TRUE(dev);
            EXPECT_EQ(kind == "mouse" ? kFirmwareKindMouse : kFirmwareKindKeyboard, dev->kind);
            upToDate += isVersionUpToDate(device_version(d).c_str(), dev->version);
        }
    }
    EXPECT_EQ(receivers, 1);
    EXPECT_EQ(twoImagesBehind, 1);
    EXPECT_EQ(upToDate, 1);
}

TEST(CatalogueMatching, RulesOverATableOfOurOwn)
{
    const DeviceFirmwareEntry rows[] = {
        {"first", 0x4100, 0xB100, 0, kFirmwareKindKeyboard, {"MPK", 1, 0, 0}, ":/firmware/a.dfu", ""},
        {"second", 0x4100, 0, 0, kFirmwareKindKeyboard, {"MPK", 2, 0, 0}, ":/firmware/b.dfu", ""},
        {"bluetooth", 0x4200, 0xB200, 1, kFirmwareKindMouse, {"MPM", 3, 0, 0}, ":/firmware/c.dfu", ""},
    };
    struct Row {
        const char* name;
        std::uint32_t productId;
        const char* onArrival;
        const char* onConnect;
    };
    const Row table[] = {
        {"shared id: arrival takes the first, a connection the last", 0x4100, "first", "second"},
        {"Bluetooth id of a row that refuses it", 0xB100, nullptr, "first"},
        {"Bluetooth id of a row that takes it", 0xB200, "bluetooth", "bluetooth"},
        {"unknown id", 0x4999, nullptr, nullptr},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const auto* arrival = matchDeviceOnArrival(rows, 3, row.productId);
        const auto* connect = matchDeviceOnConnect(rows, 3, row.productId);
        EXPECT_STREQ(arrival ? arrival->name : nullptr, row.onArrival);
        EXPECT_STREQ(connect ? connect->name : nullptr, row.onConnect);
    }
    const auto& receivers = receiverFirmwareTable();
    EXPECT_EQ(matchReceiverOnArrival(receivers.data(), receivers.size(), 0xAA20), &receivers[5]);
    EXPECT_EQ(matchReceiverOnArrival(receivers.data(), receivers.size(), 0xC520), &receivers[5]);
    EXPECT_EQ(matchReceiverOnArrival(receivers.data(), receivers.size(), 0x1234), nullptr);
}

TEST(CatalogueMatching, VersionsCompareComponentWise)
{
    const FirmwareVersion newest{"MPK", 0x12, 0x01, 0x33};
    struct Row {
        const char* text;
        bool upToDate;
    };
    const Row rows[] = {
        {"12.1.33", true},  {"12.1.34", true},  {"13.1.33", true}, {"12.1.32", false},
        {"12.0.99", false}, {"11.9.99", false}, {"12.1.133", true}, // the build's low 8 bits: 0x133 -> 0x33
        {"13.0.0", false},  // each component on its own
        {"", false},        {"12.1", false},    {"12.1.33.1", false}, {"12.x.33", false}, {"12..33", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(isVersionUpToDate(row.text, newest), row.upToDate);
    }
    EXPECT_FALSE(isVersionUpToDate(nullptr, newest));
}

} // namespace
