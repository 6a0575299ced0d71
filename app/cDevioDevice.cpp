#include "cDevioDevice.h"

#include "HexDigit.h"

#include "core/CDevio.h"
#include "core/DataRequest.h"
#include "core/IHardwareDevice.h"
#include "core/Timer.h"
#include "core/Timing.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0005DeviceNameType.h"
#include "features/IFeature00c1DFUControl.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using devio::Byte;

std::uint32_t connection_kind(std::uint32_t transport)
{
    switch (transport) {
    case devio::TransportUsbHid:
        return DFU_CONNECTION_USB;
    case devio::TransportReceiver:
        return DFU_CONNECTION_RECEIVER;
    case devio::TransportClassicBluetooth:
        return DFU_CONNECTION_BLUETOOTH;
    case devio::TransportBluetoothLE:
        return DFU_CONNECTION_BLUETOOTH_LE;
    default:
        return DFU_CONNECTION_UNKNOWN;
    }
}

void copy_text(char* field, std::size_t fieldSize, const std::string& text, std::size_t maxLength)
{
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), std::min({text.size(), maxLength, fieldSize - 1}));
}

// The feature writes these texts as four hexadecimal digits; anything else is refused.
bool read_hex16(const std::string& text, std::uint16_t* out)
{
    std::uint32_t value = 0;
    if (!quillon::read_hex_digits(text, 4, &value))
        return false;
    *out = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace

cDevioDevice::cDevioDevice(std::shared_ptr<devio::IDevice> device, DfuAdapterHost host)
    : m_host(std::move(host)), m_device(std::move(device))
{
    const bool online = m_device->attach();
    if (online)
        m_dfu = devio::getFeatureSync<devio::IFeature00d0DFU>(m_device);
    const std::string name = readName(online);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        copy_text(m_info.name, sizeof m_info.name, name, 80);
        m_info.connectionKind = connection_kind(m_device->getTransport());
        m_info.productId = m_device->getProductId();
        m_info.online = online ? 1 : 0;
        m_info.inDfu = m_dfu ? 1 : 0;
    }
    if (online)
        refreshFirmwareInfo();

    std::shared_ptr<devio::IRunLoopManager> runLoop = m_device->getManager().lock();
    m_timer = std::make_shared<devio::Timer>(runLoop, 0);
    devio::Subscriber<devio::IDevice::Connect>::subscribe(m_device, 0, "");
    devio::Subscriber<devio::ITimer::TimerEvent>::subscribe(m_timer, 0, "");
    if (m_dfu)
        watchDfuFeature(m_dfu);
}

cDevioDevice::~cDevioDevice()
{
    devio::Subscriber<devio::IFeature00d0DFU::Report>::stop_deliveries();
    devio::Subscriber<devio::IDevice::Connect>::stop_deliveries();
    devio::Subscriber<devio::ITimer::TimerEvent>::stop_deliveries();
    bool failed = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
        if (m_active) {
            m_active = false;
            std::lock_guard<std::mutex> info(m_mutex);
            failed = m_info.connectionKind != DFU_CONNECTION_BLUETOOTH_LE;
        }
    }
    m_timer->stop();
    // A device that leaves mid-update ends its update: the caller hears it failed.
    if (failed)
        notify(DFU_EVENT_STATUS, DFU_STATUS_FAILED);
}

std::shared_ptr<devio::IDevice> cDevioDevice::device() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device;
}

std::shared_ptr<devio::IFeature00d0DFU> cDevioDevice::dfuFeature() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu;
}

bool cDevioDevice::isDevice(const std::shared_ptr<devio::IDevice>& device) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device == device;
}

void cDevioDevice::notify(DFU_EVENTTYPE event, int parameter)
{
    if (m_host.notify)
        m_host.notify(handle(), event, parameter);
}

void cDevioDevice::setDetection(bool on)
{
    if (m_host.setDetection)
        m_host.setDetection(on);
    else
        devio::CDevio::instance().setConfig(devio::ConfigDetection, on);
}

void cDevioDevice::watchDfuFeature(const std::shared_ptr<devio::IFeature00d0DFU>& feature)
{
    devio::Subscriber<devio::IFeature00d0DFU::Report>::subscribe(feature, 0, "");
}

int cDevioDevice::getInfo(DFU_DEVICE_INFO* out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (out)
        *out = m_info;
    return DFU_OK;
}

int cDevioDevice::getEntry(int index, DFU_DEVICE_ENTRY* out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!out || index < 0 || static_cast<std::size_t>(index) >= m_entries.size())
        return DFU_ERR_NO_ENTRY;
    *out = m_entries[static_cast<std::size_t>(index)];
    return DFU_OK;
}

std::string cDevioDevice::readName(bool online)
{
    std::shared_ptr<devio::IDevice> d = device();
    if (online) {
        if (auto feature = devio::getFeatureSync<devio::IFeature0005DeviceNameType>(d)) {
            std::string name;
            if (feature->GetName(&name))
                return name;
        }
    }
    return d->getName();
}

bool cDevioDevice::refreshFirmwareInfo()
{
    // The requests run without the adapter mutex, so that the window's getInfo and getEntry are
    // not held up by a slow device. What they read goes in at the end, in one step: the window
    // sees the firmware of before or of now, never an empty version of a refresh under way.
    std::shared_ptr<devio::IDevice> d = device();
    std::uint32_t count = 0;
    std::uint32_t unitId = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Refreshes run one at a time, on the device's run loop: a failed count read keeps these.
        count = m_info.entityCount;
        unitId = m_info.unitId;
    }
    auto info = devio::getFeatureSync<devio::IFeature0003FirmwareInfo>(d);
    if (!info) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::memset(m_info.version, 0, sizeof m_info.version);
        return false;
    }
    std::uint32_t readCount = 0;
    std::uint32_t readUnitId = 0;
    if (info->GetEntityCount(&readCount, &readUnitId, nullptr, nullptr, nullptr, nullptr, nullptr, 0)) {
        count = readCount;
        unitId = readUnitId;
    }
    std::string version;
    if (!info->GetFwFormattedVersion(&version))
        version.clear();
    // Each refresh rebuilds the list: entries of earlier connections are stale.
    std::vector<DFU_DEVICE_ENTRY> entries;
    for (std::uint32_t e = 0; e < count; ++e) {
        std::uint32_t type = 0;
        std::string name, number, build;
        if (!info->GetFwInfo(e, &type, &name, &number, &build, nullptr, nullptr, 0))
            continue;
        DFU_DEVICE_ENTRY entry{};
        if (!read_hex16(number, &entry.version) || !read_hex16(build, &entry.build))
            continue;
        copy_text(entry.prefix, sizeof entry.prefix, name, 3);
        entries.push_back(entry);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_info.entityCount = count;
    m_info.unitId = unitId;
    copy_text(m_info.version, sizeof m_info.version, version, 79);
    m_entries = std::move(entries);
    return true;
}

void cDevioDevice::selectImage(bool second)
{
    m_current_is_second = second;
    m_pacing.setImage(second ? m_second.size() : m_main.size());
}

int cDevioDevice::progressPercent() const
{
    const std::uint64_t current = m_current_is_second ? m_second.size() : m_main.size();
    const std::uint64_t total = m_main.size() + m_second.size();
    if (total == 0)
        return 0;
    const std::uint64_t done = std::min(m_pacing.offset(), current) + (m_current_is_second ? 0 : m_second.size());
    return static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100));
}

int cDevioDevice::startUpdate(const char* image, int length, const char* secondImage, int secondLength,
                              bool mainFirst)
{
    if (!image || length < 1)
        return DFU_ERR_INVALID_PARAM;
    const bool hasSecond = secondImage && secondLength >= 1;
    // Without a whole first packet there is nothing to start a transfer with.
    if (static_cast<std::size_t>(length) < kPacketSize ||
        (hasSecond && static_cast<std::size_t>(secondLength) < kPacketSize))
        return DFU_ERR_INVALID_PARAM;

    std::shared_ptr<devio::IFeature00d0DFU> dfu = dfuFeature();
    const bool alreadyInBootloader = dfu != nullptr;
    std::shared_ptr<devio::IDevice> d = device();
    if (!d->attach())
        return DFU_ERR_FAILED;

    if (auto battery = devio::getFeatureSync<devio::IFeature1000BatteryUnifiedLevelStatus>(d)) {
        std::uint16_t c0 = 0, c1 = 0, level = 0, s1 = 0, s2 = 0;
        std::uint32_t c2 = 0, critical = 0;
        if (battery->GetBatteryCapability(&c0, &c1, &c2, &critical) &&
            battery->GetBatteryLevelStatus(&level, &s1, &s2) && level <= critical)
            return DFU_ERR_LOW_BATTERY;
    }
    if (alreadyInBootloader)
        setDetection(false);

    {
        std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
        m_main.assign(image, image + length);
        if (hasSecond)
            m_second.assign(secondImage, secondImage + secondLength);
        else
            m_second.clear();
        selectImage(hasSecond && !mainFirst);
    }

    if (!alreadyInBootloader) {
        const int result = enterBootloader();
        if (result == DFU_ERR_POWER_CYCLE) {
            std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
            m_resume_on_connect = true;
            return result;
        }
        if (result == DFU_ERR_WAIT_RECONNECT) {
            setDetection(true);
            return result;
        }
        if (result != DFU_OK)
            return result;
        if (!dfuFeature())
            return DFU_ERR_FAILED;
    }

    dfu = dfuFeature();
    notify(DFU_EVENT_STATUS, DFU_STATUS_STARTED);
    watchDfuFeature(dfu);
    std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
    m_pacing.rewind();
    return sendPacket(0) ? DFU_OK : DFU_ERR_FAILED;
}

int cDevioDevice::enterBootloader()
{
    std::shared_ptr<devio::IDevice> d = device();
    if (auto c1 = devio::getFeatureSync<devio::IFeature00c1DFUControl>(d)) {
        c1->SetDfuControl(1, 0, 0, 0);
        return DFU_ERR_POWER_CYCLE;
    }
    auto c2 = devio::getFeatureSync<devio::IFeature00c2DFUControl>(d);
    if (!c2)
        return DFU_ERR_FAILED;
    c2->SetDfuControl(1, 0);
    d->invalidate(nullptr);
    const auto until = std::chrono::steady_clock::now() + devio::Timing::scaledDuration(1000);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_until(until);
    d->discoverFeatures();
    auto dfu = devio::getFeatureSync<devio::IFeature00d0DFU>(d);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dfu = dfu;
        m_info.inDfu = dfu ? 1 : 0;
    }
    return d->getTransport() == devio::TransportBluetoothLE ? DFU_ERR_WAIT_RECONNECT : DFU_OK;
}

bool cDevioDevice::sendPacket(std::uint32_t packetNumber)
{
    std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
    std::shared_ptr<devio::IFeature00d0DFU> dfu = dfuFeature();
    const std::vector<char>& current = m_current_is_second ? m_second : m_main;

    // A start reply that names a packet is followed here at once; the packets after it are
    // paced by the device's status notifications. Either way the start command goes out only
    // while nothing of the image has been sent, so this ends after the next packet.
    for (;;) {
        const DfuPacing::Packet next = m_pacing.next(packetNumber);
        if (!dfu || next.command == DfuPacing::Command::GiveUp) {
            failTransfer();
            return false;
        }
        std::vector<Byte> packet;
        if (next.end > next.begin) {
            packet.assign(current.begin() + static_cast<std::ptrdiff_t>(next.begin),
                          current.begin() + static_cast<std::ptrdiff_t>(next.end));
            packet.resize(kPacketSize, 0);
        }

        bool ok = false;
        DfuVerdict startVerdict = DfuVerdict::Wait;
        std::vector<Byte> reply;
        if (next.command == DfuPacing::Command::Data) {
            ok = dfu->DfuCmdData(next.number, packet);
        } else {
            m_restart_parameter = packet.empty() ? 0xFF : packet[0];
            m_active = true;
            std::uint32_t status = 0;
            ok = dfu->DfuStart(packet, &status, &reply);
            startVerdict = dfuStartReplyVerdict(static_cast<std::uint8_t>(status));
            ok = ok && startVerdict != DfuVerdict::Failed;
        }
        if (!ok) {
            failTransfer();
            return false;
        }
        m_pacing.accepted(next);
        notify(DFU_EVENT_PROGRESS, progressPercent());
        if (startVerdict == DfuVerdict::SendNext) {
            if (const auto record = readDfuStatusRecord(reply)) {
                packetNumber = record->packet;
                continue;
            }
        }
        if (m_active)
            armWatchdog();
        return true;
    }
}

// The transfer ends failed and leaves nothing behind: no time-out armed, no status the device
// still sends (queued ones included) handled any more, and no main image that would follow at the
// next connection (the caller has heard the update failed; it starts again if it wants).
void cDevioDevice::failTransfer()
{
    m_active = false;
    m_resume_on_connect = false;
    stopWatchdog();
    if (auto dfu = dfuFeature())
        devio::Subscriber<devio::IFeature00d0DFU::Report>::unsubscribe(dfu);
    notify(DFU_EVENT_STATUS, DFU_STATUS_FAILED);
}

void cDevioDevice::onDfuStatus(std::uint32_t /*packetNumber*/, std::vector<Byte> payload)
{
    // A report without its status byte says nothing about the transfer.
    const auto record = readDfuStatusRecord(payload);
    if (!record)
        return;
    const DfuVerdict verdict = dfuStatusVerdict(record->status);
    if (verdict == DfuVerdict::Wait)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
    m_deadline.reset();
    if (!m_active) {
        stopWatchdog();
        return;
    }
    switch (verdict) {
    case DfuVerdict::SendNext:
        sendPacket(record->packet);
        return;
    case DfuVerdict::Succeeded:
        stopWatchdog();
        if (auto dfu = dfuFeature())
            dfu->Restart(m_restart_parameter);
        m_active = false;
        // The update is over: nothing follows at the next connection.
        m_resume_on_connect = false;
        notify(DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED);
        return;
    case DfuVerdict::SecondImageDone:
        // Only the second image ends this way: a device saying so of the main image would have
        // the main image sent again after every restart, for ever.
        if (!m_current_is_second) {
            failTransfer();
            return;
        }
        // The radio stack is in; the main image follows from the bootloader it restarts into.
        if (auto dfu = dfuFeature())
            dfu->Restart(0xFF);
        selectImage(false);
        if (device()->getTransport() == devio::TransportBluetoothLE)
            setDetection(true);
        else
            m_resume_on_connect = true;
        return;
    case DfuVerdict::Failed:
        failTransfer();
        return;
    case DfuVerdict::Wait:
        return;
    }
}

void cDevioDevice::onConnect(std::shared_ptr<devio::IDevice> connected)
{
    if (!connected)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device = connected;
    }
    auto dfu = devio::getFeatureSync<devio::IFeature00d0DFU>(connected);
    if (dfu)
        watchDfuFeature(dfu);
    const std::string name = readName(true);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dfu = dfu;
        m_info.online = 1;
        m_info.inDfu = dfu ? 1 : 0;
        m_info.productId = connected->getProductId();
        copy_text(m_info.name, sizeof m_info.name, name, 80);
    }
    refreshFirmwareInfo();
    notify(DFU_EVENT_CONNECTED, 0);

    std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
    if (m_resume_on_connect && dfu) {
        m_resume_on_connect = false;
        if (!m_active)
            notify(DFU_EVENT_STATUS, DFU_STATUS_STARTED);
        m_pacing.rewind();
        sendPacket(0);
    }
}

void cDevioDevice::onFirmwareChanged(std::shared_ptr<devio::IDevice> device) { onConnect(std::move(device)); }

void cDevioDevice::onDisconnect(std::shared_ptr<devio::IDevice> /*device*/)
{
    bool detection = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_info.online = 0;
        detection = m_dfu && m_info.connectionKind == DFU_CONNECTION_BLUETOOTH_LE;
    }
    if (detection)
        setDetection(true);
    notify(DFU_EVENT_DISCONNECTED, 0);
}

// The transfer time-out: 15000 ms after a packet went out without an answer other than
// status 3. One timer period covers many packets: each packet only moves the deadline, and
// the timer, when it ends before the deadline, runs again for the rest.
void cDevioDevice::armWatchdog()
{
    const auto period = devio::Timing::scaledDuration(kTransferTimeoutMs);
    m_deadline = std::chrono::steady_clock::now() + period;
    if (!m_timer_armed) {
        m_timer_armed = true;
        m_timer->start(static_cast<unsigned>(period.count()));
    }
}

void cDevioDevice::stopWatchdog()
{
    m_deadline.reset();
    if (m_timer_armed) {
        m_timer_armed = false;
        m_timer->stop();
    }
}

void cDevioDevice::onTimerEvent(int id)
{
    if (id != 0)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_transfer_mutex);
    m_timer_armed = false;
    // Only a transfer still running can time out; a finished one stays finished.
    if (!m_active || !m_deadline)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < *m_deadline) {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(*m_deadline - now).count() + 1;
        m_timer_armed = true;
        m_timer->start(static_cast<unsigned>(rest));
        return;
    }
    failTransfer();
}
