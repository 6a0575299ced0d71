#include "DFULite1.h"

#include "DfuManager.h"
#include "EngineLog.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "Receiver.h"
#include "WirelessDevice.h"
#include "core/Timing.h"

#include <cstring>

using devio::Timing;

namespace qv {

CDFULite1::Tuning CDFULite1::s_tuning;
std::mutex CDFULite1::s_tuningMutex;

namespace {

constexpr int kLeaveTries = 5;
// A chunk whose link drops (and comes back) more often than this in a row is given up.
constexpr std::uint32_t kLinkReturnsPerChunk = 5;

bool stop_requested()
{
    return DfuManager::instance().wait(0, {DfuManager::kStop}) == 0;
}

}  // namespace

CDFULite1::CDFULite1(std::uint32_t flags) : DFUReceiverToDevice(flags)
{
    std::lock_guard<std::mutex> lock(s_tuningMutex);
    m_tuning = s_tuning;
}

void CDFULite1::milestone(std::uint64_t value)
{
    EventHolder::instance().fire(m_event, QV_EVENT_DFU_MILESTONE, value);
}

int CDFULite1::check_image(const FirmwareRecord& firmware, const FirmwareRecord*)
{
    return firmware.image.empty() ? QV_RESOURCE_ERROR : QV_SUCCESS;
}

int CDFULite1::status_to_result(std::uint8_t status)
{
    if (status & 0x08)
        return kError;
    if (status & 0x02)
        return kRestart;
    if (status & 0x04)
        return kChecked;
    return kAck;
}

int CDFULite1::packet_result(const std::vector<std::uint8_t>& reply)
{
    return status_to_result(reply.empty() ? 0 : reply[0]);
}

std::vector<std::vector<std::uint8_t>> CDFULite1::chunks(const std::vector<std::uint8_t>& image)
{
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t at = 0; at < image.size(); at += 15) {
        const std::size_t n = std::min<std::size_t>(15, image.size() - at);
        std::vector<std::uint8_t> chunk(image.begin() + static_cast<std::ptrdiff_t>(at),
                                        image.begin() + static_cast<std::ptrdiff_t>(at + n));
        chunk.resize(15, 0xFF);
        out.push_back(std::move(chunk));
    }
    return out;
}

int CDFULite1::enter_bootloader(CReceiver& receiver, CWirelessDevice* device)
{
    DfuManager& manager = DfuManager::instance();
    // A late arrival from an earlier update must not pass for this one.
    manager.reset_event(DfuManager::kDeviceInBootloader);
    manager.reset_event(DfuManager::kReceiverInBootloader);
    std::uint8_t request[3] = {0x4C, 0x54, 0x75};
    if (device) {
        device->set_busy(true);
        request[2] = device->index();
        ResetEvent(device->link_up_event());
    } else {
        receiver.expect_bootloader_device();
    }
    std::uint8_t sent[3];
    std::memcpy(sent, request, 3);
    receiver.write_register(0xF0, 3, request, nullptr);
    std::uint8_t back[3] = {0, 0, 0};
    if (receiver.read_register(0xF0, 3, back, nullptr) != QV_SUCCESS || std::memcmp(back, sent, 3) != 0)
        return QV_DEVICE_ERROR;
    const int awaited = device ? DfuManager::kLinkUp : DfuManager::kDeviceInBootloader;
    return manager.wait(m_tuning.ackWaitMs, {awaited, DfuManager::kStop}) == 0 ? QV_SUCCESS : QV_DEVICE_ERROR;
}

int CDFULite1::Prepare()
{
    milestone(0);
    Enumerator& e = Enumerator::instance();
    DeviceRef rx = e.lookup(m_carrier);
    DeviceRef dev = m_target ? e.lookup(m_target) : DeviceRef{};
    auto* receiver = rx.as<CReceiver>();
    auto* device = dev.as<CWirelessDevice>();
    if (!receiver || (m_target && !device))
        return QV_INVALID_HANDLE;
    if (m_flags & kRecovery)
        return enter_bootloader(*receiver, device);
    if (!device)
        return QV_INVALID_HANDLE;
    const int battery = device->read_battery();
    if (battery == 2 || battery == 4 || battery == 5 || battery == 6) {
        EventHolder::instance().fire(m_event, QV_EVENT_DFU_BATTERY_CHECK, battery == 2 ? 1 : 2);
        return QV_LOW_BATTERY;
    }
    const int switched = device->switch_to_bootloader();
    if (switched != QV_SUCCESS)
        return switched == QV_INVALID_HANDLE ? QV_INVALID_HANDLE : QV_DEVICE_ERROR;
    return enter_bootloader(*receiver, device);
}

int CDFULite1::send_packet(CWirelessDevice& device, std::uint8_t command, const std::uint8_t* data15)
{
    std::uint8_t packet[16] = {command};
    if (data15)
        std::memcpy(packet + 1, data15, 15);
    std::vector<std::uint8_t> reply;
    int raw = 0;
    const int code = device.long_write(0xE2, packet, reply, &raw);
    if (code == QV_SUCCESS)
        return packet_result(reply);
    if (!device.link_lost() && code != QV_LINK_LOSS && code != QV_DEVICE_ERROR)
        return kFailed;
    ResetEvent(device.link_up_event());
    switch (DfuManager::instance().wait(m_tuning.linkRecoveryMs, {DfuManager::kLinkUp, DfuManager::kStop})) {
    case 0: return kLinkBack;
    case 1: return kStopped;
    case WAIT_TIMEOUT: return kLinkGone;
    default: return kFailed;
    }
}

int CDFULite1::transfer(CWirelessDevice& device, const std::vector<std::uint8_t>& image, Progress& progress,
                        std::uint32_t& linkLosses)
{
    const auto all = chunks(image);
    const std::uint32_t limit = m_tuning.restartLimit;
    for (;;) {
        std::uint8_t command = kFirst;
        std::uint8_t sequence = 0;
        bool restart = false;
        for (std::size_t i = 0; i + 1 < all.size() && !restart; ++i) {
            std::uint32_t attempts = 0;
            std::uint32_t linkReturns = 0;
            // Time spent failing on this chunk, link recovery aside.
            std::uint64_t failingMs = 0;
            for (;;) {
                const int r = send_packet(device, command, all[i].data());
                ++attempts;
                if (stop_requested())
                    return QV_GENERIC_DFU_ERROR;
                if (r == kAck) {
                    if (progress.advance())
                        EventHolder::instance().fire(m_event, QV_EVENT_DFU_PROGRESS, progress.percent);
                    sequence ^= 1;
                    command = sequence;
                    break;
                }
                if (r == kRestart) {
                    // Every restart counts against the limit at once.
                    ++progress.restarts;
                    milestone(10);
                    if (progress.restarts > limit)
                        return QV_GENERIC_DFU_ERROR;
                    restart = true;
                    break;
                }
                if (r == kError)
                    return QV_CRITICAL_ERROR;
                if (r == kStopped)
                    return QV_INVALID_HANDLE;
                if (r == kLinkGone)
                    return QV_DEVICE_ERROR;
                ++progress.failures;
                if (r == kLinkBack) {
                    ++linkLosses;
                    if (++linkReturns > kLinkReturnsPerChunk)
                        return QV_GENERIC_DFU_ERROR;
                } else {
                    Sleep(Timing::scaled(m_tuning.pingDelayMs));
                    failingMs += m_tuning.pingDelayMs;
                    if (failingMs > m_tuning.linkRecoveryMs)
                        return QV_GENERIC_DFU_ERROR;
                }
                if (m_tuning.attempts && attempts > m_tuning.attempts)
                    return QV_GENERIC_DFU_ERROR;
            }
        }
        if (restart)
            continue;
        const int last = send_packet(device, command, all.back().data());
        if (last == kRestart) {
            ++progress.restarts;
            milestone(10);
            if (progress.restarts > limit)
                return QV_GENERIC_DFU_ERROR;
            continue;
        }
        if (last != kAck)
            return QV_GENERIC_DFU_ERROR;
        milestone(3);
        std::uint64_t elapsed = 0;
        int polled = kAck;
        while (elapsed < m_tuning.crcWaitMs) {
            polled = send_packet(device, kPoll, nullptr);
            if (polled == kRestart || polled == kChecked)
                break;
            if (polled != kAck)
                return QV_GENERIC_DFU_ERROR;
            if (stop_requested())
                return QV_GENERIC_DFU_ERROR;
            Sleep(Timing::scaled(m_tuning.pingDelayMs));
            elapsed += m_tuning.pingDelayMs;
        }
        if (polled == kChecked)
            return QV_SUCCESS;
        if (polled != kRestart) {
            if (limit == 0)
                return QV_GENERIC_DFU_ERROR;
            for (int k = 0; k < kLeaveTries && send_packet(device, kLeave, nullptr) != kAck; ++k) {
            }
        }
        ++progress.restarts;
        milestone(10);
        if (progress.restarts > limit)
            return QV_GENERIC_DFU_ERROR;
    }
}

int CDFULite1::Run(FirmwareRecord& firmware, FirmwareRecord*)
{
    DeviceRef dev = Enumerator::instance().lookup(m_target);
    auto* device = dev.as<CWirelessDevice>();
    if (!device)
        return QV_INVALID_HANDLE;
    {
        std::lock_guard<std::mutex> lock(s_tuningMutex);
        const std::uint32_t* o = firmware.overrides;
        if (o[kMaxAttempts]) s_tuning.attempts = o[kMaxAttempts];
        if (o[kCrcWait]) s_tuning.crcWaitMs = o[kCrcWait];
        if (o[kPingDelay]) s_tuning.pingDelayMs = o[kPingDelay];
        if (o[kAckWait]) s_tuning.ackWaitMs = o[kAckWait];
        if (o[kLinkRecoveryWait]) s_tuning.linkRecoveryMs = o[kLinkRecoveryWait];
        m_tuning = s_tuning;
        if (firmware.restartLimit)
            m_tuning.restartLimit = firmware.restartLimit;
    }
    const ULONGLONG started = GetTickCount64();
    Progress progress;
    progress.set_step(static_cast<std::uint32_t>(firmware.image.size() / 15 / 100));
    milestone(2);
    std::uint32_t linkLosses = 0;
    const int result = transfer(*device, firmware.image, progress, linkLosses);
    if (result == QV_SUCCESS)
        milestone(4);
    const WString line = wformat("%s;%s;%d;%s;%d;%d;%d;%d;%d;%s", "DFU Lite 1", narrow(device->info().Name).c_str(),
                                 EngineLog::next_attempt(), result == QV_SUCCESS ? "SUCCESS" : "FAILURE",
                                 static_cast<int>(GetTickCount64() - started), progress.sent, progress.failures,
                                 linkLosses, progress.restarts,
                                 result == QV_SUCCESS ? "" : narrow(QV_ErrorToString(result)).c_str());
    EngineLog::instance().write_statistics(line);
    return result;
}

int CDFULite1::leave(CWirelessDevice* device)
{
    if (!device)
        return QV_INVALID_HANDLE;
    for (int k = 0; k < kLeaveTries; ++k)
        if (send_packet(*device, kLeave, nullptr) == kAck)
            return QV_SUCCESS;
    return QV_DEVICE_ERROR;
}

int CDFULite1::exit_request()
{
    DeviceRef rx = Enumerator::instance().lookup(m_carrier);
    auto* receiver = rx.as<CReceiver>();
    if (!receiver)
        return QV_INVALID_HANDLE;
    std::uint8_t xit[3] = {'X', 'I', 'T'};
    return receiver->write_register(0xF0, 3, xit, nullptr);
}

int CDFULite1::Finish()
{
    if (m_flags & (kSilent | kRecovery)) {
        DeviceRef dev = Enumerator::instance().lookup(m_target);
        leave(dev.as<CWirelessDevice>());
    }
    return exit_request();
}

int CDFULite1::Abort(int code)
{
    if (m_target) {
        DeviceRef dev = Enumerator::instance().lookup(m_target);
        leave(dev.as<CWirelessDevice>());
    }
    exit_request();
    return code;
}

int CDFULite1::GetInfo(VersionRecord& version, std::uint64_t& handle)
{
    Enumerator& e = Enumerator::instance();
    DeviceRef rx = e.lookup(m_carrier);
    auto* receiver = rx.as<CReceiver>();
    if (!receiver)
        return QV_INVALID_HANDLE;
    DeviceRef dev = m_target ? e.lookup(m_target) : DeviceRef{};
    int result = enter_bootloader(*receiver, dev.as<CWirelessDevice>());
    if (result == QV_SUCCESS) {
        if (!dev)
            dev = e.lookup(receiver->remembered_bootloader_device());
        if (!dev) {
            result = QV_INVALID_HANDLE;
        } else {
            VersionRecord v;
            dev->read_version(v);
            if (!v.present()) {
                handle = 0;
                result = QV_DEVICE_ERROR;
            } else {
                version = v;
                handle = dev->handle();
            }
        }
    }
    exit_request();
    return result;
}

}  // namespace qv
