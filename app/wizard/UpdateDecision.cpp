#include "UpdateDecision.h"

#include "HexDigit.h"

#include <cstring>

namespace wizard {

namespace {

// A whole part of hexadecimal digits (an optional "0x" first) that fits 32 bits; else 0.
std::uint32_t readHexPart(std::string_view part)
{
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X'))
        part.remove_prefix(2);
    if (part.empty())
        return 0;
    std::uint64_t value = 0;
    for (char c : part) {
        const int digit = quillon::hex_digit(c);
        if (digit < 0)
            return 0;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return 0;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

DeviceFacts factsFromInfo(int result, const DFU_DEVICE_INFO& info)
{
    DeviceFacts facts;
    if (result != DFU_OK)
        return facts;
    facts.readable = true;
    facts.productId = info.productId;
    facts.unitId = info.unitId;
    facts.version.assign(info.version, strnlen(info.version, sizeof info.version));
    facts.online = info.online != 0;
    facts.inDfu = info.inDfu != 0;
    facts.connectionKind = info.connectionKind;
    return facts;
}

std::optional<VersionParts> readVersionText(std::string_view text)
{
    std::uint32_t values[3] = {0, 0, 0};
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part = text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
        if (count == 3)
            return std::nullopt;
        values[count++] = readHexPart(part);
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (count != 3)
        return std::nullopt;
    return VersionParts{values[0], values[1], values[2]};
}

Verdict updateVerdict(const DeviceFacts& device, const FirmwareVersion& wanted)
{
    if (!device.readable)
        return Verdict::NoUpdate;
    if (device.inDfu)
        return Verdict::NeedsUpdate;
    const auto parts = readVersionText(device.version);
    if (!parts)
        return Verdict::NoUpdate;
    if (parts->number >= wanted.number && parts->revision >= wanted.revision && (parts->build & 0xFFu) >= wanted.build)
        return Verdict::UpToDate;
    return Verdict::NeedsUpdate;
}

Pick pickNextDevice(const std::vector<Candidate>& ascending, bool sameUnitOnly, std::uint32_t trackedProductId,
                    std::uint32_t trackedUnitId)
{
    Pick pick;
    for (const Candidate& c : ascending) {
        if (!c.facts.readable || !c.facts.online)
            continue;
        if (sameUnitOnly && (c.facts.productId != trackedProductId || c.facts.unitId != trackedUnitId))
            continue;
        const Verdict verdict = updateVerdict(c.facts, c.wanted);
        if (verdict == Verdict::UpToDate)
            pick.upToDateSeen = true;
        if (verdict == Verdict::NeedsUpdate) {
            pick.device = c.device;
            break;
        }
    }
    return pick;
}

Page summaryState(const RunOutcome& outcome)
{
    if (outcome.failureAcknowledged || outcome.updateDeclined)
        return Page::NoOtherDevices;
    if (outcome.anyUpdateSucceeded)
        return Page::UpdateSucceeded;
    if (outcome.upToDateSeen)
        return Page::UpToDate;
    return Page::NothingFound;
}

Page stateAfterDeviceStart(int result)
{
    switch (result) {
    case DFU_OK:
        return Page::Updating;
    case DFU_ERR_LOW_BATTERY:
        return Page::LowBattery;
    case DFU_ERR_POWER_CYCLE:
        return Page::TurnOffAndOn;
    case DFU_ERR_WAIT_RECONNECT:
        return Page::WaitForBootloader;
    default:
        return Page::UpdateFailed;
    }
}

ReceiverChoice chooseReceiverRows(const ReceiverFacts& receiver, const ReceiverFirmwareEntry* rows,
                                  std::size_t count)
{
    ReceiverChoice choice;
    const DeviceFacts& facts = receiver.facts;
    if (!facts.readable)
        return choice;
    const auto parts = readVersionText(facts.version);
    if (!parts)
        return choice;
    choice.decided = true;
    for (std::size_t i = 0; i < count; ++i) {
        const ReceiverFirmwareEntry& row = rows[i];
        const bool fits = facts.inDfu ? row.bootloaderProductId == facts.productId
                                      : row.receiverProductId == facts.productId && row.firmware.number == parts->number;
        if (!fits)
            continue;
        const Verdict verdict = updateVerdict(facts, row.firmware);
        if (verdict == Verdict::UpToDate)
            choice.upToDateSeen = true;
        if (receiver.bootloaderRevision && row.bootloader.revision == *receiver.bootloaderRevision) {
            choice.rows.assign(1, &row);
            choice.needsUpdate = verdict == Verdict::NeedsUpdate;
            return choice;
        }
        choice.rows.push_back(&row);
        choice.needsUpdate = choice.needsUpdate || verdict == Verdict::NeedsUpdate;
    }
    return choice;
}

std::size_t receiverRowIndex(int rotation, std::size_t candidates)
{
    if (candidates == 0)
        return 0;
    return static_cast<std::size_t>(rotation < 0 ? 0 : rotation) % candidates;
}

}  // namespace wizard
