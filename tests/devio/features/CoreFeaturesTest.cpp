#include "FakeDevice.h"

#include "core/DataRequest.h"
#include "core/Subscriber.h"
#include "features/Feature0000Root.h"
#include "features/Feature0001FeatureSet.h"
#include "features/Feature0003FirmwareInfo.h"
#include "features/Feature0005DeviceNameType.h"
#include "features/Feature0007DeviceFriendlyName.h"
#include "features/Feature0008SwitchAndKeepAlive.h"
#include "features/Feature0020ConfigChange.h"
#include "features/Feature0021CryptoIdentifier.h"
#include "features/Feature1000BatteryUnifiedLeveStatus.h"
#include "features/Feature1D4BWirelessStatus.h"
#include "features/FeatureRegistry.h"

#include <gtest/gtest.h>

#include <map>

using namespace devio;
using devio::test::FakeDevice;
using devio::test::function_of;
using devio::test::make;
using devio::test::params_of;

namespace {

using Bytes = std::vector<Byte>;

// Answers each function with a fixed payload (long report when more than 3 bytes).
void answer_by_function(FakeDevice& dev, std::map<unsigned, Bytes> payloads)
{
    dev.answer = [payloads](const Bytes& c) -> std::optional<Bytes> {
        auto it = payloads.find(function_of(c));
        if (it == payloads.end())
            return std::nullopt;
        return FakeDevice::reply_to(c, it->second);
    };
}

TEST(RootFeature, FramesGetFeatureTargetSwAndDecodes)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->software_id = 2;
    auto root = make<IFeature0000Root>(0x0000, 0, dev);
    answer_by_function(*dev, {{0, {0x05, 0xE0, 0x02}}, {1, {0x04, 0x02, 0x00}}});

    std::uint32_t index = 0, version = 0;
    bool b7 = false, b6 = false, b5 = false;
    ASSERT_TRUE(root->GetFeature(0x0003, &index, &b7, &b6, &b5, &version, 1));
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x00, 0x02, 0x00, 0x03}));
    EXPECT_EQ(dev->log().back().kind, 1u);
    EXPECT_EQ(index, 5u);
    EXPECT_TRUE(b7 && b6 && b5);
    EXPECT_EQ(version, 2u);

    // A short payload decodes as zeros beyond its end; index 0 has no special meaning.
    answer_by_function(*dev, {{0, {0x05, 0x40}}});
    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, c[2], c[3], 0x05, 0x40, 0x00}; };
    IFeature0000Root::GetFeatureResponse r;
    ASSERT_TRUE(root->GetFeature(0x1D4B, 0)->get(r));
    EXPECT_EQ(r.feature_index, 5u);
    EXPECT_TRUE(!r.type_bit7 && r.type_bit6 && !r.type_bit5);
    EXPECT_EQ(r.feature_version, 0u);

    answer_by_function(*dev, {{1, {0x04, 0x02, 0x00}}});
    std::uint8_t major = 0;
    std::uint32_t minor = 0;
    ASSERT_TRUE(root->TargetSw(&major, &minor));
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x00, 0x12, 0x00, 0x00, 0x00}));
    EXPECT_EQ(dev->log().back().kind, 1u);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 2u);

    // An older protocol's error reply fails TargetSw with 9, the protocol decision's cue.
    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, 0x8F, c[2], c[3], 0x01, 0x00}; };
    EXPECT_FALSE(root->TargetSw(&major, &minor));
    EXPECT_EQ(last_error().code, 9u);
}

TEST(RootFeature, PingFormsCheckTheEcho)
{
    auto dev = std::make_shared<FakeDevice>();
    auto root = make<IFeature0000Root>(0x0000, 0, dev);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x04, 0x02, c[6]}); };
    EXPECT_TRUE(root->Ping(0x5A));
    EXPECT_EQ(dev->log().back().positions, (std::vector<unsigned>{2}));
    EXPECT_TRUE(root->PingAsync(0x5A)->wait());

    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x04, 0x02, Byte(c[6] + 1)}); };
    EXPECT_FALSE(root->Ping(0x5A));
    EXPECT_EQ(last_error().code, 78u);

    std::uint8_t r0 = 0, r1 = 0, r2 = 0;
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x04, 0x02, 0x00}); };
    ASSERT_TRUE(root->Ping(0, &r0, &r1, &r2));
    EXPECT_EQ(dev->log().back().kind, 1u); // ping byte 0 is TargetSw's request
    EXPECT_EQ((Bytes{r0, r1, r2}), (Bytes{4, 2, 0}));
    ASSERT_TRUE(root->Ping(7, &r0, &r1, &r2));
    EXPECT_EQ(dev->log().back().kind, 0u);

    root->PingRequest(0x13);
    EXPECT_TRUE(dev->log().back().merge);
}

TEST(FeatureSetFeature, FramesAndDecodesTheTable)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->software_id = 4;
    auto set = make<IFeature0001FeatureSet>(0x0001, 1, dev);

    std::uint32_t count = 99;
    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, c[2], c[3]}; }; // empty payload
    ASSERT_TRUE(set->GetCount(&count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x01, 0x04}));
    EXPECT_EQ(dev->log().back().kind, 1u);

    std::uint32_t id = 0, version = 0;
    bool b5 = true, b6 = true, b7 = true;
    answer_by_function(*dev, {{1, {0x1D, 0x4B, 0x00, 0x01}}});
    ASSERT_TRUE(set->GetFeatureId(0x105, &id, &b5, &b6, &b7, &version));
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x01, 0x14, 0x05}));
    EXPECT_EQ(id, 0x1D4Bu);
    EXPECT_FALSE(b5 || b6 || b7);
    EXPECT_EQ(version, 1u);

    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x00, 0x03, 0x80}); };
    IFeature0001FeatureSet::GetFeatureIdResponse r;
    ASSERT_TRUE(set->GetFeatureId(7)->get(r));
    EXPECT_EQ(r.feature_id, 3u);
    EXPECT_TRUE(r.type_bit7 && !r.type_bit6 && !r.type_bit5);
}

// Entities by index: (type, name, number, build, flags).
struct Entity {
    Byte type;
    const char* name;
    std::uint16_t number;
    std::uint16_t build;
    Byte flags;
};

void answer_firmware(FakeDevice& dev, std::vector<Entity> entities, std::uint32_t unitId, bool shortCount = false)
{
    dev.answer = [entities, unitId, shortCount](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 0) {
            if (shortCount)
                return FakeDevice::reply_to(c, {Byte(entities.size()), 0x12, 0x34});
            return FakeDevice::reply_to(c, {Byte(entities.size()), Byte(unitId >> 24), Byte(unitId >> 16),
                                            Byte(unitId >> 8), Byte(unitId), 0x00, 0x00, 0xB0, 0x1A, 0, 0, 0,
                                            0, 0x07, 0, 0});
        }
        const auto& e = entities.at(c[4] % entities.size());
        return FakeDevice::reply_to(c, {e.type, Byte(e.name[0]), Byte(e.name[1]), Byte(e.name[2]),
                                        Byte(e.number >> 8), Byte(e.number), Byte(e.build >> 8), Byte(e.build),
                                        e.flags, 1, 2, 3, 4, 5, 6, 7});
    };
}

std::vector<unsigned> entities_asked(FakeDevice& dev)
{
    std::vector<unsigned> asked;
    for (const auto& sent : dev.log())
        if (function_of(sent.command) == 1)
            asked.push_back(sent.command[4]);
    return asked;
}

TEST(FirmwareInfoFeature, InfoTextOfTheActiveEntity)
{
    auto dev = std::make_shared<FakeDevice>();
    auto info = make_feature(0x0003, 3, dev);
    auto fw = std::dynamic_pointer_cast<IFeature0003FirmwareInfo>(info);
    answer_firmware(*dev, {{0x10, "BOT", 0x0001, 0x0002, 0}, {0, "ABC", 0x1203, 0x0042, 0}, {0, "XYZ", 1, 2, 1}},
                    0x0A0B0C0D);

    // Version 0: entity 0 only, no unit id.
    EXPECT_EQ(fw->GetFwInfoString(nullptr, nullptr, nullptr), "0BOT00010002");

    std::dynamic_pointer_cast<Feature>(info)->set_discovered(false, false, false, 1);
    std::uint32_t entity = 9;
    EXPECT_EQ(fw->GetFwInfoString(nullptr, nullptr, &entity), "0XYZ000100020A0B0C0D");
    EXPECT_EQ(entity, 2u);

    dev->clear_log();
    IFeature0003FirmwareInfo::GetFwInfoStringResponse r;
    ASSERT_TRUE(fw->GetFwInfoString()->get(r));
    EXPECT_EQ(r.text, "0XYZ000100020A0B0C0D");
    EXPECT_EQ(r.entity, 2u);
    EXPECT_EQ(r.featureIndex, 3u);
    EXPECT_EQ(entities_asked(*dev), (std::vector<unsigned>{0, 1, 2}));

    // None active: 0, 1, 2 and then 0 again, which the text describes.
    answer_firmware(*dev, {{0, "ABC", 0x1203, 0x0042, 0}, {1, "BL1", 1, 2, 0}, {2, "HW ", 3, 4, 0}}, 1);
    dev->clear_log();
    ASSERT_TRUE(fw->GetFwInfoString()->get(r));
    EXPECT_EQ(r.text, "0ABC1203004200000001");
    EXPECT_EQ(r.entity, 0u);
    EXPECT_EQ(entities_asked(*dev), (std::vector<unsigned>{0, 1, 2, 0}));

    // A count of 0 still asks entity 0 once.
    answer_firmware(*dev, {}, 0);
    dev->answer = [](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 0)
            return FakeDevice::reply_to(c, Bytes(16, 0));
        return FakeDevice::reply_to(c, {0, 0x00, 'K', 0x80, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0});
    };
    dev->clear_log();
    ASSERT_TRUE(fw->GetFwInfoString()->get(r));
    EXPECT_EQ(r.text, "0 K 0001000200000000"); // unprintable name bytes become spaces
    EXPECT_EQ(entities_asked(*dev).size(), 1u);
}

TEST(FirmwareInfoFeature, DottedVersionsAndKinds)
{
    auto dev = std::make_shared<FakeDevice>();
    auto fw = make<IFeature0003FirmwareInfo>(0x0003, 3, dev);
    answer_firmware(*dev, {{1, "BL2", 0x001A, 0x0007, 0}, {0, "U2 ", 0x0105, 0x0007, 1}}, 0);
    std::string text;
    ASSERT_TRUE(fw->GetFwFormattedVersion(&text));
    EXPECT_EQ(text, "201.5.7");
    IFeature0003FirmwareInfo::GetFwFormattedVersionResponse async;
    ASSERT_TRUE(fw->GetFwFormattedVersion()->get(async));
    EXPECT_EQ(async.text, "201.5.7");

    std::uint16_t build = 0, number = 0;
    std::uint32_t flags = 9;
    ASSERT_TRUE(fw->GetFwFormattedVersionByKind(1, &text, &build, &number, &flags));
    EXPECT_EQ(text, "0.26.7"); // 0x001A is not decimal: BCD of 26
    EXPECT_EQ(number, 0x0026);
    EXPECT_EQ(flags, 0u);
    EXPECT_FALSE(fw->GetFwFormattedVersionByKind(0, &text, nullptr, nullptr, nullptr));
    EXPECT_FALSE(fw->GetFwFormattedVersion(nullptr));

    answer_firmware(*dev, {{0, "U7 ", 0x0310, 0x0102, 0}}, 0);
    ASSERT_TRUE(fw->GetFwFormattedVersion(&text));
    EXPECT_EQ(text, "703.10.102");
    answer_firmware(*dev, {{0, "UA ", 0x1203, 0x0042, 0}}, 0);
    ASSERT_TRUE(fw->GetFwFormattedVersion(&text));
    EXPECT_EQ(text, "12.3.42");

    // No entities: nothing is asked and the operations fail.
    answer_firmware(*dev, {{0, "MPK", 1, 1, 0}}, 0);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, Bytes(16, 0)); };
    dev->clear_log();
    EXPECT_FALSE(fw->GetFwFormattedVersion(&text));
    EXPECT_FALSE(fw->GetFwInfoByType(0, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(entities_asked(*dev).empty());
}

TEST(FirmwareInfoFeature, ShortRepliesAndModelIds)
{
    auto dev = std::make_shared<FakeDevice>();
    auto fw = make<IFeature0003FirmwareInfo>(0x0003, 3, dev);
    // Function 0 in a short report: missing bytes read as zeros, as in the asynchronous form.
    answer_firmware(*dev, {{0, "ABC", 1, 2, 1}}, 0, true);
    std::uint32_t count = 0, unitId = 0, high = 7, ext = 7;
    ASSERT_TRUE(fw->GetEntityCount(&count, &unitId, &high, nullptr, nullptr, nullptr, &ext, 1));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(unitId, 0x12340000u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(ext, 0u);
    std::uint32_t model = 0;
    ASSERT_TRUE(fw->GetModelId(&model)); // no high half: the product id
    EXPECT_EQ(model, 0xC52Bu);

    // Function 1 needs its 16 bytes in the blocking form; the asynchronous form zero-fills.
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x10, 'A', 'B'}); };
    std::uint32_t type = 0;
    EXPECT_FALSE(fw->GetFwInfo(std::uint8_t(0), &type, nullptr, nullptr, nullptr, nullptr, nullptr, 1));
    EXPECT_EQ(last_error().code, 2u);
    IFeature0003FirmwareInfo::GetFwInfoResponse r;
    ASSERT_TRUE(fw->GetFwInfo(0, 1)->get(r));
    EXPECT_EQ(r.type, 0u);
    EXPECT_EQ(r.name, "AB ");
    EXPECT_EQ(r.number, "0000");
    EXPECT_EQ(r.extra, Bytes(7, 0));

    answer_firmware(*dev, {{0, "ABC", 1, 2, 1}}, 0x01020304);
    IFeature0003FirmwareInfo::GetModelIdResponse m;
    dev->answer = [](const Bytes& c) {
        return FakeDevice::reply_to(c, {1, 0, 0, 0, 0, 0x40, 0x71, 0xB0, 0x1A, 0, 0, 0, 0, 0x05, 0, 0});
    };
    ASSERT_TRUE(fw->GetModelId()->get(m));
    EXPECT_EQ(m.modelId, 0x4071B01Au);
    ASSERT_TRUE(fw->GetExtendedModelId(&ext, 0));
    EXPECT_EQ(ext, 5u);
}

TEST(FirmwareInfoFeature, StoredRepliesFormatWithoutTraffic)
{
    const Bytes reply{0x30, 'A', 'B', 'C', 0x12, 0x03, 0x00, 0x42, 0x01, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(format_fw_version(reply, true, false, 0), "0ABC12030042");
    EXPECT_EQ(format_fw_version(reply, true, true, 0xDEADBEEF), "0ABC12030042DEADBEEF");
    Bytes inactive = reply;
    inactive[8] = 0;
    EXPECT_EQ(format_fw_version(inactive, true, false, 0), "");
    EXPECT_EQ(last_error().code, 79u);
    EXPECT_EQ(format_fw_version(Bytes{0, 'A'}, false, false, 0), "");
    std::uint32_t count = 0, unitId = 0;
    ASSERT_TRUE(IFeature0003FirmwareInfo::GetEntityCountResponse::get_count_and_unit_id(
        Bytes{3, 0xAA, 0xBB, 0xCC, 0xDD}, &count, &unitId));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(unitId, 0xAABBCCDDu);
}

// Framing, the byte order and foreign writes are tested on the simulated device.
TEST(ConfigChangeFeature, NullOutputAndZeroFilledCookie)
{
    auto dev = std::make_shared<FakeDevice>();
    auto config = make<IFeature0020ConfigChange>(0x0020, 4, dev);
    answer_by_function(*dev, {{0, {0x12, 0x34, 0x00}}, {1, {0, 0, 0}}});
    std::uint16_t cookie = 0;
    ASSERT_TRUE(config->GetCookie(&cookie));
    EXPECT_EQ(cookie, 0x1234);
    EXPECT_TRUE(config->GetCookie(nullptr));
    EXPECT_TRUE(config->SetCompleteAsync(1)->wait());

    // The asynchronous form zero-fills a payload of a single byte.
    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, c[2], c[3], 0x05}; };
    IFeature0020ConfigChange::GetCookieResponse r;
    ASSERT_TRUE(config->GetCookie()->get(r));
    EXPECT_EQ(r.cookie, 0x0500);
}

struct WirelessLog : Subscriber<IFeature1D4BWirelessStatus::Report> {
    std::vector<std::vector<bool>> seen;
    void onWirelessStatusEvent(bool a, bool b, bool c) override { seen.push_back({a, b, c}); }
};

TEST(WirelessStatusFeature, ShortPayloadPublishesNothing)
{
    auto dev = std::make_shared<FakeDevice>();
    auto feature = make_feature(0x1D4B, 6, dev);
    WirelessLog log;
    ASSERT_TRUE(log.subscribe(std::dynamic_pointer_cast<IFeature1D4BWirelessStatus>(feature), 1, "test"));
    auto base = std::dynamic_pointer_cast<Feature>(feature);
    base->onFeatureReport(0, {0x01, 0x01});
    EXPECT_EQ(last_error().code, 2u);
    EXPECT_TRUE(log.seen.empty());
}

TEST(BatteryFeature, LevelCapabilityAndNotifications)
{
    auto dev = std::make_shared<FakeDevice>();
    auto battery = make<IFeature1000BatteryUnifiedLevelStatus>(0x1000, 8, dev);
    answer_by_function(*dev, {{0, {0x32, 0x1E, 0x00}}, {1, {0x05, 0x01, 0x00, 0x3C, 0x0A}}});
    std::uint16_t a = 0, b = 0, c = 0;
    std::uint32_t third = 0, fourth = 0;
    ASSERT_TRUE(battery->GetBatteryLevelStatus(&a, &b, &c));
    EXPECT_EQ((std::vector<int>{a, b, c}), (std::vector<int>{50, 30, 0}));
    EXPECT_TRUE(battery->GetBatteryLevelStatus(nullptr, nullptr, nullptr));
    ASSERT_TRUE(battery->GetBatteryCapability(&a, &b, &third, &fourth));
    EXPECT_EQ((std::vector<std::uint32_t>{a, b, third, fourth}), (std::vector<std::uint32_t>{5, 1, 60, 10}));
    EXPECT_EQ(dev->log().back().kind, 1u); // cacheable

    answer_by_function(*dev, {{1, {0x05, 0x01, 0x00}}});
    EXPECT_FALSE(battery->GetBatteryCapability(&a, &b, &third, &fourth));
    EXPECT_EQ(last_error().code, 2u);
}

TEST(DeviceNameFeature, ChunkedReadIsKept)
{
    auto dev = std::make_shared<FakeDevice>();
    auto names = make<IFeature0005DeviceNameType>(0x0005, 2, dev);
    const std::string full = "Quillon Test Keyboard K";
    std::size_t count = 20;
    bool shortReports = false;
    dev->answer = [&](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 0)
            return FakeDevice::reply_to(c, {Byte(count), 0, 0});
        if (function_of(c) == 2)
            return FakeDevice::reply_to(c, {3, 0, 0});
        const std::size_t n = shortReports ? 3 : 16;
        Bytes chunk(n, 0);
        for (std::size_t i = 0; i < n && c[4] + i < full.size(); ++i)
            chunk[i] = Byte(full[c[4] + i]);
        return FakeDevice::reply_to(c, chunk);
    };
    std::string name;
    ASSERT_TRUE(names->GetName(&name));
    EXPECT_EQ(name, full.substr(0, 20));
    EXPECT_EQ(entities_asked(*dev), (std::vector<unsigned>{0, 16}));
    for (const auto& sent : dev->log())
        EXPECT_EQ(sent.kind, 1u);
    dev->clear_log();
    ASSERT_TRUE(names->GetName(&name));
    EXPECT_TRUE(dev->log().empty());

    auto fresh = make<IFeature0005DeviceNameType>(0x0005, 2, dev);
    count = 5;
    shortReports = true;
    ASSERT_TRUE(fresh->GetName(&name));
    EXPECT_EQ(name, full.substr(0, 5));
    EXPECT_EQ(entities_asked(*dev), (std::vector<unsigned>{0, 3}));

    std::uint8_t type = 0;
    ASSERT_TRUE(fresh->GetType(&type));
    EXPECT_EQ(type, 3);
    EXPECT_TRUE(fresh->GetType(static_cast<std::uint32_t*>(nullptr)));

    // A failed chunk leaves nothing kept: the next read starts over with the count.
    auto failing = make<IFeature0005DeviceNameType>(0x0005, 2, dev);
    count = 20;
    shortReports = false;
    auto good = dev->answer;
    dev->answer = [&](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 1 && c[4] == 16)
            return std::nullopt;
        return good(c);
    };
    EXPECT_FALSE(failing->GetName(&name));
    dev->answer = good;
    dev->clear_log();
    ASSERT_TRUE(failing->GetName(&name));
    EXPECT_EQ(function_of(dev->log().front().command), 0u);
}

TEST(FriendlyNameFeature, ReadKeepsFillAndWriteCutsUtf8)
{
    auto dev = std::make_shared<FakeDevice>();
    auto friendly = make<IFeature0007DeviceFriendlyName>(0x0007, 5, dev);
    std::uint8_t maxLength = 32;
    std::vector<Bytes> written;
    dev->answer = [&](const Bytes& c) -> std::optional<Bytes> {
        switch (function_of(c)) {
        case 0: return FakeDevice::reply_to(c, {7, maxLength, 5});
        case 1: {
            Bytes p{c[4], 'K', 'i', 't', 'c', 'h', 'e', 'n'};
            p.resize(16, 0xAA); // the device's own fill bytes
            return FakeDevice::reply_to(c, p);
        }
        case 3: written.push_back(params_of(c)); return FakeDevice::reply_to(c, {c[4], 0, 0});
        default: return FakeDevice::reply_to(c, {0, 0, 0});
        }
    };
    std::uint16_t len = 0, max = 0, def = 0;
    ASSERT_TRUE(friendly->GetFriendlyNameLen(&len, &max, &def));
    EXPECT_EQ((std::vector<int>{len, max, def}), (std::vector<int>{7, 32, 5}));
    std::string name;
    ASSERT_TRUE(friendly->GetFriendlyName(&name));
    EXPECT_EQ(name.size(), 15u); // the fill bytes after the seventh character stay
    EXPECT_EQ(name.substr(0, 7), "Kitchen");
    EXPECT_FALSE(friendly->GetFriendlyName(nullptr));

    const std::string utf8 = "\x42\xC3\xBC\x72\x6F";
    maxLength = 2;
    ASSERT_TRUE(friendly->SetFriendlyName(utf8));
    Bytes one(16, 0);
    one[1] = 0x42;
    EXPECT_EQ(written, (std::vector<Bytes>{one}));
    written.clear();
    maxLength = 3;
    ASSERT_TRUE(friendly->SetFriendlyName(utf8));
    Bytes three(16, 0);
    three[1] = 0x42, three[2] = 0xC3, three[3] = 0xBC;
    EXPECT_EQ(written, (std::vector<Bytes>{three}));

    written.clear();
    maxLength = 32;
    ASSERT_TRUE(friendly->SetFriendlyName(std::string(31, 'x')));
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[2][0], 30);
    EXPECT_EQ(written[2][1], 'x');
    EXPECT_EQ(written[2][2], 0);

    written.clear();
    dev->clear_log();
    ASSERT_TRUE(friendly->SetFriendlyName(std::string()));
    EXPECT_EQ(dev->log().size(), 1u);
    EXPECT_TRUE(friendly->ResetFriendlyName());
}

TEST(KeepAliveFeature, ParameterLowByteFirstRepliesHighByteFirst)
{
    auto dev = std::make_shared<FakeDevice>();
    auto keep = make<IFeature0008SwitchAndKeepAlive>(0x0008, 6, dev);
    answer_by_function(*dev, {{0, {0x01, 0xF4, 0x27, 0x10}}, {1, {0x12, 0x34, 0x00}}, {2, {0, 0, 0}}});
    std::uint16_t first = 0, second = 0, result = 0;
    ASSERT_TRUE(keep->GetInfo(&first, &second));
    EXPECT_EQ(first, 500);
    EXPECT_EQ(second, 10000);
    ASSERT_TRUE(keep->KeepAlive(0x1234, &result));
    EXPECT_EQ(params_of(dev->log().back().command), (Bytes{0x34, 0x12}));
    EXPECT_EQ(result, 0x1234);
    EXPECT_TRUE(keep->Switch());
    answer_by_function(*dev, {{0, {0x01, 0xF4, 0x27}}});
    EXPECT_FALSE(keep->GetInfo(&first, &second));
    EXPECT_EQ(last_error().code, 2u);
}

struct RegenLog : Subscriber<IFeature0021CryptoIdentifier::RegenDetect> {
    std::vector<unsigned> seen;
    void onRegenerateIdentifier(unsigned softwareId) override { seen.push_back(softwareId); }
};

TEST(CryptoIdentifierFeature, TwoHalvesAndForeignRegeneration)
{
    auto dev = std::make_shared<FakeDevice>();
    auto crypto = make<IFeature0021CryptoIdentifier>(0x0021, 7, dev);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, Bytes(16, Byte(0xA0 + function_of(c)))); };
    Bytes id;
    ASSERT_TRUE(crypto->GetIdentifier(&id));
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(id[0], 0xA0);
    EXPECT_EQ(id[31], 0xA1);

    dev->clear_log();
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {1, 2, 3}); };
    EXPECT_FALSE(crypto->GetIdentifier(&id));
    EXPECT_EQ(last_error().code, 2u);
    EXPECT_EQ(dev->log().size(), 1u);

    RegenLog log;
    ASSERT_TRUE(log.subscribe(crypto, 1, "test"));
    auto base = std::dynamic_pointer_cast<Feature>(crypto);
    base->onUnexpectedResponse(2, 5, {0, 0, 0});
    base->onUnexpectedResponse(1, 5, {0, 0, 0});
    base->onFeatureReport(2, {0, 0, 0});
    EXPECT_EQ(log.seen, (std::vector<unsigned>{5}));
}

} // namespace
