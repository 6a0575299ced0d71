// The wizard's decisions on plain values, without Qt.
#include "UpdateDecision.h"

#include <gtest/gtest.h>

using namespace wizard;

namespace {

DeviceFacts online(const char* version, std::uint32_t productId = 0x10, std::uint32_t unitId = 0x100)
{
    DeviceFacts f;
    f.readable = true;
    f.online = true;
    f.version = version;
    f.productId = productId;
    f.unitId = unitId;
    return f;
}

}  // namespace

TEST(UpdateDecision, ReadsThreeHexadecimalParts)
{
    struct Row {
        const char* name;
        const char* text;
        bool valid;
        VersionParts parts;
    };
    const Row rows[] = {
        {"plain", "12.05.0015", true, {0x12, 0x05, 0x15}},
        {"lower-case hex", "ab.cd.ef", true, {0xab, 0xcd, 0xef}},
        {"empty parts read 0", "..", true, {0, 0, 0}},
        {"non-hex part reads 0", "1.zz.3", true, {1, 0, 3}},
        {"0x prefix", "0x10.2.3", true, {0x10, 2, 3}},
        {"over 32 bits reads 0", "123456789.1.1", true, {0, 1, 1}},
        {"eight digits fit", "FFFFFFFF.1.1", true, {0xFFFFFFFFu, 1, 1}},
        {"sign is not hex", "-1.2.3", true, {0, 2, 3}},
        {"two parts", "20.03", false, {}},
        {"four parts", "1.2.3.4", false, {}},
        {"empty text", "", false, {}},
        {"no dots", "123", false, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const auto parts = readVersionText(r.text);
        ASSERT_EQ(parts.has_value(), r.valid);
        if (!r.valid)
            continue;
        EXPECT_EQ(parts->number, r.parts.number);
        EXPECT_EQ(parts->revision, r.parts.revision);
        EXPECT_EQ(parts->build, r.parts.build);
    }
}

TEST(UpdateDecision, ComparesComponentByComponent)
{
    struct Row {
        const char* name;
        DeviceFacts facts;
        FirmwareVersion wanted;
        Verdict verdict;
    };
    DeviceFacts bootloader = online("99.99.99");
    bootloader.inDfu = true;
    DeviceFacts bootloaderNoVersion = online("");
    bootloaderNoVersion.inDfu = true;
    const Row rows[] = {
        {"higher first, lower second", online("12.05.0015"), {"X", 0x11, 0x07, 0x15}, Verdict::NeedsUpdate},
        {"third in its low 8 bits", online("20.03.0115"), {"X", 0x20, 0x03, 0x15}, Verdict::UpToDate},
        {"equal", online("1.2.33"), {"X", 0x01, 0x02, 0x33}, Verdict::UpToDate},
        {"older build", online("1.2.32"), {"X", 0x01, 0x02, 0x33}, Verdict::NeedsUpdate},
        {"newer everywhere", online("2.3.34"), {"X", 0x01, 0x02, 0x33}, Verdict::UpToDate},
        {"two parts", online("20.03"), {"X", 0x01, 0x01, 0x01}, Verdict::NoUpdate},
        {"bootloader whatever its version", bootloader, {"X", 0x01, 0x01, 0x01}, Verdict::NeedsUpdate},
        {"bootloader without version", bootloaderNoVersion, {"X", 0x01, 0x01, 0x01}, Verdict::NeedsUpdate},
        {"unreadable", DeviceFacts{}, {"X", 0, 0, 0}, Verdict::NoUpdate},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(updateVerdict(r.facts, r.wanted), r.verdict);
    }
}

TEST(UpdateDecision, PicksTheFirstOnlineDeviceThatNeedsAnUpdate)
{
    const FirmwareVersion wanted{"X", 0x10, 0x00, 0x00};
    DeviceFacts offline = online("1.0.0", 0x10, 0x1);
    offline.online = false;
    const std::vector<Candidate> devices = {
        {1, offline, wanted},                          // needs one, but offline
        {2, online("10.0.0", 0x10, 0x2), wanted},      // up to date
        {3, DeviceFacts{}, wanted},                    // unreadable
        {4, online("1.0.0", 0x20, 0x4), wanted},       // needs one
        {5, online("1.0.0", 0x10, 0x5), wanted},       // needs one, the tracked unit
    };
    struct Row {
        const char* name;
        bool sameUnit;
        std::uint32_t productId;
        std::uint32_t unitId;
        DFU_DEVICE expected;
        bool upToDateSeen;
    };
    const Row rows[] = {
        {"any unit", false, 0, 0, 4, true},
        {"tracked unit only", true, 0x10, 0x5, 5, false},
        {"tracked unit gone", true, 0x10, 0x9, 0, false},
        {"tracked unit up to date", true, 0x10, 0x2, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Pick pick = pickNextDevice(devices, r.sameUnit, r.productId, r.unitId);
        EXPECT_EQ(pick.device, r.expected);
        EXPECT_EQ(pick.upToDateSeen, r.upToDateSeen);
    }
}

TEST(UpdateDecision, SummaryPage)
{
    struct Row {
        const char* name;
        RunOutcome outcome;
        Page state;
    };
    const Row rows[] = {
        {"nothing", {false, false, false, false}, Page::NothingFound},
        {"up to date", {false, false, false, true}, Page::UpToDate},
        {"updated", {false, false, true, true}, Page::UpdateSucceeded},
        {"declined after a success", {false, true, true, true}, Page::NoOtherDevices},
        {"failure acknowledged", {true, false, true, false}, Page::NoOtherDevices},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(summaryState(r.outcome), r.state);
    }
}

TEST(UpdateDecision, PageAfterStartingAnUpdate)
{
    const std::pair<int, Page> rows[] = {{DFU_OK, Page::Updating},
                                         {DFU_ERR_LOW_BATTERY, Page::LowBattery},
                                         {DFU_ERR_POWER_CYCLE, Page::TurnOffAndOn},
                                         {DFU_ERR_WAIT_RECONNECT, Page::WaitForBootloader},
                                         {DFU_ERR_FAILED, Page::UpdateFailed},
                                         {DFU_ERR_INVALID_HANDLE, Page::UpdateFailed},
                                         {DFU_ERR_INVALID_PARAM, Page::UpdateFailed},
                                         {-1, Page::UpdateFailed}};
    for (const auto& [result, state] : rows) {
        SCOPED_TRACE(result);
        EXPECT_EQ(stateAfterDeviceStart(result), state);
    }
}

TEST(UpdateDecision, ReceiverRowsByBootloaderRevision)
{
    const FirmwareVersion fw{"RQ", 0x12, 0x03, 0x07};
    const FirmwareVersion other{"RQ", 0x13, 0x00, 0x00};
    const ReceiverFirmwareEntry catalogue[] = {
        {0xC510, 0xAA10, fw, {"BL", 1, 0x01, 0}, "a.hex", ""},
        {0xC510, 0xAA10, fw, {"BL", 1, 0x02, 0}, "b.hex", ""},
        {0xC511, 0xAA11, fw, {"BL", 1, 0x02, 0}, "c.hex", ""},
        {0xC510, 0xAA10, other, {"BL", 1, 0x03, 0}, "d.hex", ""},
        {0xC510, 0xAA10, fw, {"BL", 1, 0x04, 0}, "e.hex", ""},
    };
    auto receiver = [](const char* version, std::uint32_t productId, std::optional<std::uint32_t> br,
                       bool inDfu = false) {
        ReceiverFacts r;
        r.facts = online(version, productId, 0);
        r.facts.inDfu = inDfu;
        r.bootloaderRevision = br;
        return r;
    };
    struct Row {
        const char* name;
        ReceiverFacts receiver;
        bool decided;
        std::vector<const char*> hexes;
        bool needsUpdate;
        bool upToDateSeen;
    };
    ReceiverFacts unreadable;
    const Row rows[] = {
        {"exact row wins", receiver("12.2.7", 0xC510, 0x02), true, {"b.hex"}, true, false},
        {"exact row up to date", receiver("12.3.7", 0xC510, 0x02), true, {"b.hex"}, false, true},
        {"no exact row: every fitting row", receiver("12.2.7", 0xC510, 0x09), true, {"a.hex", "b.hex", "e.hex"}, true,
         false},
        {"no bootloader entity", receiver("12.2.7", 0xC510, std::nullopt), true, {"a.hex", "b.hex", "e.hex"}, true,
         false},
        {"firmware number selects rows", receiver("13.0.0", 0xC510, 0x09), true, {"d.hex"}, false, true},
        {"bootloader mode matches bootloader id", receiver("1.2.0", 0xAA11, 0x09, true), true, {"c.hex"}, true,
         false},
        {"fits no row", receiver("12.2.7", 0xC599, 0x02), true, {}, false, false},
        {"two-part version", receiver("12.2", 0xC510, 0x02), false, {}, false, false},
        {"unreadable", unreadable, false, {}, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ReceiverChoice choice = chooseReceiverRows(r.receiver, catalogue, sizeof catalogue / sizeof catalogue[0]);
        EXPECT_EQ(choice.decided, r.decided);
        std::vector<std::string> hexes;
        for (const auto* row : choice.rows)
            hexes.push_back(row->hexPath);
        EXPECT_EQ(hexes, std::vector<std::string>(r.hexes.begin(), r.hexes.end()));
        EXPECT_EQ(choice.needsUpdate, r.needsUpdate);
        EXPECT_EQ(choice.upToDateSeen, r.upToDateSeen);
    }
}

TEST(UpdateDecision, ReceiverAttemptsRotateThroughCandidates)
{
    int rotation = 0;
    std::vector<std::size_t> picked;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::size_t index = receiverRowIndex(rotation, 3);
        rotation = static_cast<int>(index) + 1;
        picked.push_back(index);
    }
    EXPECT_EQ(picked, (std::vector<std::size_t>{0, 1, 2, 0, 1}));
    EXPECT_EQ(receiverRowIndex(7, 1), 0u);
    EXPECT_EQ(receiverRowIndex(7, 0), 0u);
}
