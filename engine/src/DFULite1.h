// Over-the-air update of a device paired behind a receiver: the receiver routes the device into
// its bootloader, then the image goes in 16-byte packets to the device's register 0xE2.
#pragma once

#include "DFUProtocol.h"

#include <atomic>
#include <mutex>

namespace qv {

class CWirelessDevice;
class CReceiver;

class DFUReceiverToDevice : public DFUProtocol {
public:
    using DFUProtocol::DFUProtocol;
};

class CDFULite1 : public DFUReceiverToDevice {
public:
    // Results of one packet.
    enum Packet { kAck = 0, kChecked = 1, kRestart = 2, kError = 4, kStopped = 5, kFailed = 6, kLinkBack = 7, kLinkGone = 8 };
    enum Command : std::uint8_t { kFirst = 2, kPoll = 8, kLeave = 4 };

    struct Tuning {
        std::uint32_t ackWaitMs = 20000;
        std::uint32_t attempts = 0;
        std::uint32_t crcWaitMs = 5000;
        std::uint32_t pingDelayMs = 500;
        std::uint32_t linkRecoveryMs = 5000;
        std::uint32_t restartLimit = 5;
    };

    explicit CDFULite1(std::uint32_t flags);

    int Prepare() override;
    int Run(FirmwareRecord& firmware, FirmwareRecord* signature) override;
    int Finish() override;
    int Abort(int code) override;
    int GetInfo(VersionRecord& version, std::uint64_t& handle) override;
    int check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature) override;

    // Status byte of a packet reply to a packet result.
    static int status_to_result(std::uint8_t status);
    // A packet's 3-byte reply to a packet result (an empty reply reads as status 0).
    static int packet_result(const std::vector<std::uint8_t>& reply);
    // The image cut into 15-byte chunks, the last padded with 0xFF.
    static std::vector<std::vector<std::uint8_t>> chunks(const std::vector<std::uint8_t>& image);

    static Tuning s_tuning;
    static std::mutex s_tuningMutex;

private:
    int enter_bootloader(CReceiver& receiver, CWirelessDevice* device);
    int send_packet(CWirelessDevice& device, std::uint8_t command, const std::uint8_t* data15);
    int leave(CWirelessDevice* device);
    int exit_request();
    int transfer(CWirelessDevice& device, const std::vector<std::uint8_t>& image, Progress& progress,
                 std::uint32_t& linkLosses);
    void milestone(std::uint64_t value);
    Tuning m_tuning;
};

}  // namespace qv
