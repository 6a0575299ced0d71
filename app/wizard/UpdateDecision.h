// The wizard's decisions as plain functions of plain values: does a device need new firmware,
// which device comes next, which receiver rows fit, which page ends the run.
#pragma once

#include "DfuApi.h"
#include "FirmwareCatalogue.h"
#include "WizardPages.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wizard {

// What the decisions know of a device: its information block, when it could be read.
struct DeviceFacts {
    bool readable = false;
    std::uint32_t productId = 0;
    std::uint32_t unitId = 0;
    std::string version;
    bool online = false;
    bool inDfu = false;
    std::uint32_t connectionKind = 0;
};
DeviceFacts factsFromInfo(int result, const DFU_DEVICE_INFO& info);

// The three parts of a version text split at every "." (empty parts kept), each read as an
// unsigned hexadecimal number; a part that is not one reads 0. Empty unless exactly 3 parts.
struct VersionParts {
    std::uint32_t number = 0;
    std::uint32_t revision = 0;
    std::uint32_t build = 0;
};
std::optional<VersionParts> readVersionText(std::string_view text);

enum class Verdict {
    NoUpdate,     // unreadable device or version text
    UpToDate,     // counts as "up to date seen"
    NeedsUpdate,  // older component, or the device runs its bootloader
};
// Component by component: up to date when each part is at least the wanted one (the third in
// its low 8 bits).
Verdict updateVerdict(const DeviceFacts& device, const FirmwareVersion& wanted);

// One entry of the wizard's device table, in ascending handle order.
struct Candidate {
    DFU_DEVICE device = 0;
    DeviceFacts facts;
    FirmwareVersion wanted{};
};
struct Pick {
    DFU_DEVICE device = 0;  // 0: none
    bool upToDateSeen = false;
};
// The first online candidate that needs an update; with sameUnitOnly only the tracked unit.
Pick pickNextDevice(const std::vector<Candidate>& ascending, bool sameUnitOnly, std::uint32_t trackedProductId,
                    std::uint32_t trackedUnitId);

struct RunOutcome {
    bool failureAcknowledged = false;
    bool updateDeclined = false;
    bool anyUpdateSucceeded = false;
    bool upToDateSeen = false;
};
// NoOtherDevices (declined or failed), UpdateSucceeded, UpToDate, or NothingFound.
Page summaryState(const RunOutcome& outcome);

// The state after DFU_StartUpdate's result.
Page stateAfterDeviceStart(int result);

// A receiver and what it reports of its bootloader entity ("BL").
struct ReceiverFacts {
    DeviceFacts facts;
    std::optional<std::uint32_t> bootloaderRevision;
};
struct ReceiverChoice {
    bool decided = false;  // false: the receiver could not be judged; its entries stay as they are
    std::vector<const ReceiverFirmwareEntry*> rows;  // the receiver's entries from now on, in order
    bool needsUpdate = false;
    bool upToDateSeen = false;
};
// The rows that fit the receiver (by product id and firmware number, or bootloader id in its
// bootloader). A row built for its bootloader revision is the only one kept; without one every
// fitting row stays a candidate and any that finds the receiver outdated asks for an update.
ReceiverChoice chooseReceiverRows(const ReceiverFacts& receiver, const ReceiverFirmwareEntry* rows,
                                  std::size_t count);

// Which of n candidate rows (most recently added first) the next receiver attempt uses.
std::size_t receiverRowIndex(int rotation, std::size_t candidates);

}  // namespace wizard
