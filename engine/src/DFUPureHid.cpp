#include "DFUPureHid.h"

#include "DfuManager.h"
#include "EngineLog.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "HidDevice.h"
#include "Receiver.h"

#include <cstring>

namespace qv {

std::atomic<std::uint32_t> CDFUPureHid::s_usbEnumerationWaitMs{60000};

CDFUPureHid::CDFUPureHid(std::uint32_t flags) : DFUHostToReceiver(flags) {}

void CDFUPureHid::milestone(std::uint64_t value)
{
    EventHolder::instance().fire(m_event, QV_EVENT_DFU_MILESTONE, value);
}

void CDFUPureHid::progress_event(std::uint32_t percent)
{
    EventHolder::instance().fire(progress_handle(), QV_EVENT_DFU_PROGRESS, percent > 100 ? 100 : percent);
}

void CDFUPureHid::stop()
{
    m_stopped.store(true);
}

bool CDFUPureHid::command_raw(const std::uint8_t* request, std::uint8_t* reply, DWORD timeoutMs)
{
    if (m_stopped.load())
        return false;
    if (m_active)
        return m_active->transfer(request, reply, timeoutMs);
    DeviceRef ref = Enumerator::instance().lookup(m_carrier);
    auto* device = ref.as<CHidDevice>();
    return device && device->transfer(request, reply, timeoutMs);
}

bool CDFUPureHid::command(std::uint8_t cmd, std::uint16_t address, std::uint8_t length, const std::uint8_t* data,
                          std::uint8_t* reply, DWORD timeoutMs)
{
    std::uint8_t request[33] = {};
    request[1] = cmd;
    request[2] = static_cast<std::uint8_t>(address >> 8);
    request[3] = static_cast<std::uint8_t>(address);
    request[4] = length;
    if (data)
        std::memcpy(request + 5, data, std::min<std::size_t>(length, 16));
    return command_raw(request, reply, timeoutMs);
}

int CDFUPureHid::check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature)
{
    std::vector<ImageRecord> records;
    if (ParseHex(firmware.image.data(), firmware.image.size(), 0, 0xFFFF, records) != QV_SUCCESS)
        return QV_RESOURCE_ERROR;
    // The block at address 0 goes last, so that a cut-short update never starts.
    bool hasZero = false;
    for (const auto& r : records)
        hasZero = hasZero || r.address == 0;
    if (!hasZero)
        return QV_RESOURCE_ERROR;
    if (signature) {
        std::vector<ImageRecord> sig;
        if (ParseBin(signature->image.data(), signature->image.size(), sig) != QV_SUCCESS)
            return QV_RESOURCE_ERROR;
    }
    return QV_SUCCESS;
}

int CDFUPureHid::EnterBootloader()
{
    if (m_carrier)
        return QV_SUCCESS;
    DeviceRef ref = Enumerator::instance().lookup(m_target);
    auto* receiver = ref.as<CReceiver>();
    if (!receiver)
        return QV_INVALID_HANDLE;
    // A late arrival from an earlier update must not pass for this one.
    DfuManager::instance().reset_event(DfuManager::kDeviceInBootloader);
    DfuManager::instance().reset_event(DfuManager::kReceiverInBootloader);
    std::uint8_t icp[3] = {'I', 'C', 'P'};
    receiver->write_register(0xF0, 3, icp, nullptr);
    return QV_SUCCESS;
}

bool CDFUPureHid::decode_info(const std::uint8_t* reply, std::uint16_t& start, std::uint16_t& end, std::uint16_t& page)
{
    if (reply[1] != kInfo)
        return false;
    start = static_cast<std::uint16_t>(reply[5] << 8 | reply[6]);
    end = static_cast<std::uint16_t>(reply[7] << 8 | reply[8]);
    page = static_cast<std::uint16_t>(reply[9] << 8 | reply[10]);
    return true;
}

std::uint32_t CDFUPureHid::erase_count(std::uint16_t end, std::uint16_t page)
{
    return page == 0 ? 0 : (std::uint32_t{end} + page - 1) / page;
}

bool CDFUPureHid::version_from_reply(std::uint8_t cmd, const std::uint8_t* reply, VersionRecord& out)
{
    if (reply[1] != cmd)
        return false;
    const std::string text(reinterpret_cast<const char*>(reply + 5), 28);
    return ParseVersion(text.substr(0, text.find('\0')), out);
}

int CDFUPureHid::bootloader_info()
{
    std::uint8_t reply[33] = {};
    if (command(kInfo, 0, 0, nullptr, reply, 50) && decode_info(reply, m_start, m_end, m_page))
        return QV_SUCCESS;
    return QV_DEVICE_ERROR;
}

int CDFUPureHid::Prepare()
{
    milestone(5);
    const bool known = m_carrier != 0;
    int result = EnterBootloader();
    if (result != QV_SUCCESS)
        return result;
    if (!known) {
        Enumerator& e = Enumerator::instance();
        if (DfuManager::instance().wait(s_usbEnumerationWaitMs.load(),
                                        {DfuManager::kReceiverInBootloader, DfuManager::kStop}) != 0)
            return QV_DEVICE_ERROR;
        m_carrier = e.lastBootloader.load();
        if (!m_target)
            m_event = m_carrier;
    }
    if (!Enumerator::instance().lookup(m_carrier))
        return QV_INVALID_HANDLE;
    bootloader_info();
    milestone(6);
    return Erase();
}

int CDFUPureHid::Erase()
{
    if (m_page == 0)
        return QV_DEVICE_ERROR;
    const std::uint32_t pages = erase_count(m_end, m_page);
    for (std::uint32_t k = 0; k < pages; ++k) {
        std::uint8_t reply[33] = {};
        if (!command(kErase, static_cast<std::uint16_t>(k * m_page), 1, nullptr, reply, 100) || reply[1] != kErase)
            return QV_DEVICE_ERROR;
    }
    return QV_SUCCESS;
}

int CDFUPureHid::ReadBack()
{
    for (std::uint32_t address = 0; address < m_end; address += 16) {
        std::uint8_t reply[33] = {};
        if (!command(kRead, static_cast<std::uint16_t>(address), 16, nullptr, reply, 50) || reply[1] != kRead)
            return QV_DEVICE_ERROR;
    }
    return QV_SUCCESS;
}

int CDFUPureHid::Run(FirmwareRecord& firmware, FirmwareRecord* signature)
{
    const ULONGLONG started = GetTickCount64();
    if (firmware.overrides[kUsbEnumWait])
        s_usbEnumerationWaitMs.store(firmware.overrides[kUsbEnumWait]);
    milestone(1);
    std::vector<ImageRecord> records;
    int result = ParseHex(firmware.image.data(), firmware.image.size(), m_start, m_end, records);
    if (result != QV_SUCCESS)
        return result;
    m_signature.clear();
    m_haveSignature = false;
    if (signature) {
        if ((result = ParseBin(signature->image.data(), signature->image.size(), m_signature)) != QV_SUCCESS)
            return result;
        m_haveSignature = true;
    }
    DeviceRef ref = Enumerator::instance().lookup(m_carrier);
    auto* device = ref.as<CHidDevice>();
    if (!device)
        return QV_INVALID_HANDLE;
    Progress progress;
    progress.set_step(Progress::step_for(records.size() + m_signature.size(), 0));
    m_active = device;
    result = Program(records, *device, progress);
    m_active = nullptr;
    const WString line = wformat("%s;%s;%d;%s;%d;%d;%d;;%d;%s", "DFU Receiver", narrow(device->info().Name).c_str(),
                                 EngineLog::next_attempt(), result == QV_SUCCESS ? "SUCCESS" : "FAILURE",
                                 static_cast<int>(GetTickCount64() - started), progress.sent, progress.failures,
                                 progress.restarts, result == QV_SUCCESS ? "" : narrow(QV_ErrorToString(result)).c_str());
    EngineLog::instance().write_statistics(line);
    return result;
}

int CDFUPureHid::Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress)
{
    const ImageRecord* held = nullptr;
    for (const auto& r : records) {
        if (r.address == 0 && !held) {
            held = &r;
            continue;
        }
        std::uint8_t reply[33] = {};
        if (!command(kWrite, r.address, r.length, r.data, reply, 50)) {
            ++progress.failures;
            return QV_GENERIC_DFU_ERROR;
        }
        if (reply[1] != kWrite)
            return QV_DEVICE_ERROR;
        if (progress.advance())
            progress_event(progress.percent);
    }
    if (!held)
        return QV_GENERIC_DFU_ERROR;
    milestone(3);
    std::uint8_t reply[33] = {};
    if (held->length > 1) {
        if (!command(kWrite, 0x0001, static_cast<std::uint8_t>(held->length - 1), held->data + 1, reply, 500) ||
            reply[1] != kWrite)
            return QV_GENERIC_DFU_ERROR;
    }
    if (m_haveSignature && !m_signature.empty()) {
        progress.set_step(Progress::step_for(m_signature.size(), progress.percent));
        const int result = WriteSignature(m_signature, device, progress);
        if (result != QV_SUCCESS)
            return result;
    }
    std::memset(reply, 0, sizeof reply);
    // No reply to the final write is a failure, never a success.
    if (!command(kWrite, 0x0000, 1, held->data, reply, m_haveSignature ? 30000 : 500) || reply[1] != kWrite)
        return QV_GENERIC_DFU_ERROR;
    return QV_SUCCESS;
}

int CDFUPureHid::WriteSignature(const std::vector<ImageRecord>& records, CHidDevice&, Progress& progress)
{
    for (const auto& r : records) {
        std::uint8_t reply[33] = {};
        if (!command(kSignature, r.address, r.length, r.data, reply, 50))
            return QV_GENERIC_DFU_ERROR;
        if (reply[1] != kSignature)
            return QV_DEVICE_ERROR;
        if (progress.advance())
            progress_event(progress.percent);
    }
    return QV_SUCCESS;
}

int CDFUPureHid::Finish()
{
    milestone(8);
    return Reboot();
}

int CDFUPureHid::Reboot()
{
    if (!Enumerator::instance().lookup(m_carrier))
        return QV_INVALID_HANDLE;
    std::uint8_t reply[33] = {};
    command(kRestart, 0, 0, nullptr, reply, 50);
    return QV_SUCCESS;
}

int CDFUPureHid::Abort(int code)
{
    Reboot();
    return code;
}

int CDFUPureHid::ReadBootloaderVersion(VersionRecord& out)
{
    for (std::uint8_t cmd : {kVersionA, kVersionB}) {
        std::uint8_t reply[33] = {};
        if (command(cmd, 0, 0, nullptr, reply, 50) && version_from_reply(cmd, reply, out))
            return QV_SUCCESS;
    }
    return QV_DEVICE_ERROR;
}

int CDFUPureHid::GetInfo(VersionRecord& version, std::uint64_t& handle)
{
    ReadBootloaderVersion(version);
    handle = m_carrier;
    return QV_SUCCESS;
}

}  // namespace qv
