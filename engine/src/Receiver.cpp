#include "Receiver.h"

#include "DfuManager.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "WirelessDevice.h"
#include "core/Timing.h"

#include <cstring>

using devio::Timing;

namespace qv {

namespace {

constexpr std::uint8_t kReceiverIndex = 0xFF;
constexpr DWORD kDiscoveryTickMs = 1000;

std::atomic<int> g_velmiraCounter{1};
std::atomic<int> g_ravelinCounter{1};
std::atomic<int> g_sorrelCounter{1};

}  // namespace

CReceiver::CReceiver(Enumerator* enumerator, int kind, DWORD parentInstance)
    : CDevice(enumerator), m_kind(kind), m_parentInstance(parentInstance)
{
    update_info([&](QV_DEVICE_INFO& r) {
        r.DevType = 0;
        r.Parent = 0;
        r.RadioType = kind;
        r.RadioStatus = 3;
        r.Slider = 0;
        r.Battery = 1;
    });
}

CReceiver::~CReceiver()
{
    // The first enumeration never waits for a receiver that is gone.
    {
        std::lock_guard<std::mutex> lock(m_discoveryMutex);
        if (m_owed > 0 && enumerator())
            enumerator()->adjust_pending(-m_owed);
        m_owed = 0;
        if (m_timerRunning && enumerator())
            KillTimer(enumerator()->window(), static_cast<UINT_PTR>(handle()));
        m_timerRunning = false;
    }
    stop_transport();
    stop_monitor();
    CDevice::stop();
    close_collections();
    if (m_monitorStop)
        CloseHandle(m_monitorStop);
}

void CReceiver::identity(const HIDD_ATTRIBUTES& attributes)
{
    WString name;
    switch (m_kind) {
    case kMira: name = wformat("Mira receiver [%d]", g_velmiraCounter.fetch_add(1)); break;
    case kVelmira: name = wformat("Velmira receiver [%d]", g_velmiraCounter.fetch_add(1)); break;
    case kVelmiraRom: name = wformat("Velmira ROM receiver [%d]", g_velmiraCounter.fetch_add(1)); break;
    case kQv: name = wformat("Ravelin receiver [%d]", g_ravelinCounter.fetch_add(1)); break;
    case kQvGaming: name = wformat("Gaming Ravelin receiver [%d]", g_ravelinCounter.fetch_add(1)); break;
    default: name = wformat("Sorrel receiver [%d]", g_sorrelCounter.fetch_add(1)); break;
    }
    update_info([&](QV_DEVICE_INFO& r) {
        r.ModelID = (static_cast<std::uint32_t>(attributes.VendorID) << 16) | attributes.ProductID;
        copy_bounded(r.Name, 80, name);
        r.SN[0] = 0;
        r.Flags = 0x106;
    });
}

bool CReceiver::start()
{
    Enumerator* e = enumerator();
    if (!open_transport(e ? e->window() : nullptr, kRemovalMessage))
        return false;
    if (m_kind == kQv || m_kind == kQvGaming) {
        std::vector<std::uint8_t> payload;
        const std::uint8_t params[3] = {0x03, 0, 0};
        if (register_read(kReceiverIndex, 0xB5, true, params, payload) == kRawOk && payload.size() >= 5) {
            const WString sn = wformat("%02X%02X%02X%02X", payload[1], payload[2], payload[3], payload[4]);
            update_info([&](QV_DEVICE_INFO& r) { copy_bounded(r.SN, 80, sn); });
        }
    }
    if (e && e->first_enumeration_done())
        DfuManager::instance().request_check();
    VersionRecord v;
    if (read_version(v))
        set_version(v);
    update_info([](QV_DEVICE_INFO& r) { r.DFUStatus = QV_DFU_NO_NEWER_FW; });
    m_started.store(true);
    return CDevice::start();
}

void CReceiver::stop()
{
    m_started.store(false);
    stop_transport();
    stop_monitor();
    CDevice::stop();
}

void CReceiver::signal_quit()
{
    const HANDLE quit = quit_event();
    if (quit)
        SetEvent(quit);
}

int CReceiver::read_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw)
{
    std::vector<std::uint8_t> payload;
    const int code = device_read(kReceiverIndex, reg, length > 3, buffer, payload, raw);
    if (code == QV_SUCCESS && buffer)
        std::memcpy(buffer, payload.data(), std::min(length, payload.size()));
    return code;
}

int CReceiver::write_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw)
{
    std::vector<std::uint8_t> payload;
    const int code = device_write(kReceiverIndex, reg, buffer, length, &payload, raw);
    if (code == QV_SUCCESS && buffer)
        std::memcpy(buffer, payload.data(), std::min(length, payload.size()));
    return code;
}

int CReceiver::device_read(std::uint8_t index, std::uint8_t reg, bool longReg, const std::uint8_t* params,
                           std::vector<std::uint8_t>& payload, int* raw)
{
    std::uint8_t p[3] = {0, 0, 0};
    if (params)
        std::memcpy(p, params, 3);
    const int r = register_read(index, reg, longReg, p, payload);
    if (raw)
        *raw = r;
    return map_raw(r);
}

int CReceiver::device_write(std::uint8_t index, std::uint8_t reg, const std::uint8_t* data, std::size_t length,
                            std::vector<std::uint8_t>* payload, int* raw)
{
    const int r = register_write(index, reg, data, length, payload);
    if (raw)
        *raw = r;
    return map_raw(r);
}

bool CReceiver::match(std::int64_t kind, std::uint64_t value)
{
    if (kind == -2)
        return has_collection_file(reinterpret_cast<HANDLE>(value));
    if (kind == 0)
        return value == m_parentInstance || has_collection_instance(static_cast<DWORD>(value));
    return false;
}

bool CReceiver::read_version(VersionRecord& out)
{
    return version_from_register_f1(
        family_prefix(0),
        [&](std::uint8_t parameter, std::uint8_t& a, std::uint8_t& b) {
            std::vector<std::uint8_t> payload;
            const std::uint8_t params[3] = {parameter, 0, 0};
            if (register_read(kReceiverIndex, 0xF1, false, params, payload) != kRawOk || payload.size() < 3)
                return false;
            a = payload[1];
            b = payload[2];
            return true;
        },
        out);
}

int CReceiver::pairing_lock(unsigned seconds)
{
    m_lockClosedByHost.store(false);
    if (seconds >= 255)
        return 1;
    std::uint8_t data[3];
    std::uint8_t reg;
    if (m_kind == kSorrel) {
        reg = 0x70;
        data[0] = seconds == 0 ? 1 : 2;
        data[1] = 1;
        data[2] = 0;
    } else {
        reg = 0xB2;
        data[0] = seconds == 0 ? 2 : 1;
        data[1] = 0;
        data[2] = seconds == 0 ? 0 : static_cast<std::uint8_t>(seconds);
    }
    if (seconds == 0)
        m_lockClosedByHost.store(true);
    return write_register(reg, 3, data, nullptr);
}

int CReceiver::unpair(int index)
{
    if (m_kind != kQv && m_kind != kQvGaming)
        return QV_NOT_SUPPORTED;
    std::uint8_t data[3] = {3, static_cast<std::uint8_t>(index), 0};
    return write_register(0xB2, 3, data, nullptr);
}

void CReceiver::discover()
{
    std::lock_guard<std::mutex> lock(m_discoveryMutex);
    std::uint8_t reg0[3] = {0, 0, 0};
    if (read_register(0x00, 3, reg0, nullptr) != QV_SUCCESS) {
        reg0[0] = 0;
        reg0[1] = 0;
        reg0[2] = 0;
    }
    reg0[1] |= 0x01;
    write_register(0x00, 3, reg0, nullptr);

    // A failed read tells nothing: what was owed stays owed and is asked for again (taken as none,
    // a tick on a busy receiver would end the first enumeration ahead of its devices).
    std::uint8_t reg2[3] = {0, 0, 0};
    int count = m_owed;
    if (read_register(0x02, 3, reg2, nullptr) == QV_SUCCESS) {
        const int connected = reg2[1];
        int known = 0;
        for (int i = 1; i <= 6; ++i)
            known += (m_announced >> i) & 1;
        count = connected > known ? connected - known : 0;
    }
    // A tick replaces this receiver's share of the pending arrivals rather than adding to it.
    if (enumerator())
        enumerator()->adjust_pending(count - m_owed);
    m_owed = count;
    if (count == 0) {
        if (m_timerRunning && enumerator())
            KillTimer(enumerator()->window(), static_cast<UINT_PTR>(handle()));
        m_timerRunning = false;
        m_retries = 0;
        activity_monitor(enumerator() ? enumerator()->activity_interval() : 0);
        return;
    }
    if (!m_timerRunning && enumerator() &&
        SetTimer(enumerator()->window(), static_cast<UINT_PTR>(handle()), Timing::scaled(kDiscoveryTickMs), nullptr))
        m_timerRunning = true;
    std::uint8_t announce[3] = {2, 0, 0};
    write_register(0x02, 3, announce, nullptr);
}

void CReceiver::discovery_tick()
{
    {
        std::lock_guard<std::mutex> lock(m_discoveryMutex);
        if (m_owed <= 0 || m_retries >= 3) {
            if (m_timerRunning && enumerator())
                KillTimer(enumerator()->window(), static_cast<UINT_PTR>(handle()));
            m_timerRunning = false;
            m_retries = 0;
            return;
        }
        ++m_retries;
    }
    discover();
}

void CReceiver::forget_announced(std::uint8_t index)
{
    std::lock_guard<std::mutex> lock(m_discoveryMutex);
    m_announced &= ~(1u << index);
}

void CReceiver::announced(std::uint8_t index)
{
    bool done = false;
    {
        std::lock_guard<std::mutex> lock(m_discoveryMutex);
        // A device announced again (a later round) owes nothing more.
        const unsigned bit = 1u << (index & 7);
        const bool repeat = (m_announced & bit) != 0;
        m_announced |= bit;
        if (!repeat && m_owed > 0) {
            --m_owed;
            if (enumerator())
                enumerator()->adjust_pending(-1);
            done = m_owed == 0;
        }
    }
    if (done)
        activity_monitor(enumerator() ? enumerator()->activity_interval() : 0);
}

void CReceiver::expect_bootloader_device()
{
    m_bootloaderDevice.store(0);
    m_expectBootloader.store(true);
}

bool CReceiver::accepts(std::uint8_t subId, bool receiverItself) const
{
    const bool velmira = m_kind == kMira || m_kind == kVelmira || m_kind == kVelmiraRom;
    const bool qv = m_kind == kQv || m_kind == kQvGaming;
    const bool sorrel = m_kind == kSorrel;
    switch (subId) {
    case 0x41: return true;
    case 0x40: return qv;
    case 0x4A: return velmira || qv;
    case 0x46: return sorrel;
    case 0x07:
    case 0x0D: return velmira || sorrel || (qv && !receiverItself);
    case 0x4B: return qv;
    default: return false;
    }
}

void CReceiver::OnReport(const std::uint8_t* report, std::size_t length)
{
    if (!m_started.load() || length < 4)
        return;
    const std::uint8_t index = report[1];
    const std::uint8_t subId = report[2];
    if (!accepts(subId, index == kReceiverIndex))
        return;
    std::uint8_t payload[16] = {};
    std::memcpy(payload, report + 3, std::min<std::size_t>(length - 3, sizeof payload));
    Enumerator* e = enumerator();
    switch (subId) {
    case 0x41:
        if (index >= 1 && index <= 6) {
            on_connection(index, payload);
            announced(index);
        }
        break;
    case 0x40:
        if (e && index >= 1 && index <= 6) {
            forget_announced(index);
            if (const std::uint64_t h = e->find(static_cast<std::int64_t>(handle()), index)) {
                set_link_event(index, nullptr);
                e->remove(h);
            }
        }
        break;
    case 0x4A:
    case 0x46:
        on_status(payload);
        break;
    case 0x07:
    case 0x0D:
        if (e && index >= 1 && index <= 6) {
            if (const std::uint64_t h = e->find(static_cast<std::int64_t>(handle()), index)) {
                DeviceRef ref = e->lookup(h);
                if (auto* w = ref.as<CWirelessDevice>()) {
                    if (m_kind == kQv || m_kind == kQvGaming) {
                        if (w->generation() != 0)
                            break;
                    }
                    w->battery_from_notification(subId, payload);
                }
            }
        }
        break;
    case 0x4B:
        if (e && index >= 1 && index <= 6) {
            if (const std::uint64_t h = e->find(static_cast<std::int64_t>(handle()), index)) {
                DeviceRef ref = e->lookup(h);
                auto* w = ref.as<CWirelessDevice>();
                if (w && w->generation() == 0) {
                    DfuManager::instance().request_check();
                    e->relay(h, QV_EVENT_DEVICE_POWER_UP, 0);
                }
            }
        }
        break;
    default:
        break;
    }
}

std::uint32_t CReceiver::dev_type_of(const std::uint8_t* p)
{
    static const int kTypes[16] = {-1, 2, 1, 3, 5, -1, -1, 6, 7, 8, 9, 10, 11, -1, -1, -1};
    return p[0] == 2 ? 1u : static_cast<std::uint32_t>(kTypes[p[1] & 0x0F]);
}

void CReceiver::on_connection(std::uint8_t index, const std::uint8_t* p)
{
    Enumerator* e = enumerator();
    if (!e)
        return;
    if (const std::uint64_t existing = e->find(static_cast<std::int64_t>(handle()), index)) {
        DeviceRef ref = e->lookup(existing);
        auto* w = ref.as<CWirelessDevice>();
        if (w && w->belongs(p)) {
            w->apply_link(p);
            return;
        }
        ref.reset();
        set_link_event(index, nullptr);
        e->remove(existing);
    }
    if ((p[1] & 0x40) && p[0] == 5)
        return;
    const std::uint32_t devType = dev_type_of(p);
    auto* device = new CWirelessDevice(e, this, index, devType);
    if (m_expectBootloader.load())
        device->set_busy(true);
    if (!device->fill_from_notification(p)) {
        delete device;
        return;
    }
    const std::uint64_t h = e->add(device, index);
    set_link_event(index, device->link_lost_event());
    device->start();
    if (m_expectBootloader.load() && device->info().RadioStatus == 0) {
        m_bootloaderDevice.store(h);
        m_expectBootloader.store(false);
        DfuManager::instance().signal(DfuManager::kDeviceInBootloader);
    }
}

void CReceiver::on_status(const std::uint8_t* p)
{
    const int status = (p[0] & 0x01) ? 4 : 3;
    int old = 0;
    update_info([&](QV_DEVICE_INFO& r) {
        old = r.RadioStatus;
        r.RadioStatus = status;
    });
    if (old != status)
        fire(QV_EVENT_WIRELESS_STATUS, static_cast<std::uint64_t>(status));
    switch (p[1]) {
    case 1:
        if (!m_lockClosedByHost.load())
            fire(QV_EVENT_PAIRING_STATUS, 1);
        break;
    case 2: fire(QV_EVENT_PAIRING_STATUS, 2); break;
    case 3: fire(QV_EVENT_PAIRING_STATUS, 0); break;
    default: break;
    }
}

void CReceiver::activity_monitor(unsigned interval)
{
    if (interval == 0) {
        stop_monitor();
        return;
    }
    std::lock_guard<std::mutex> lock(m_monitorMutex);
    if (m_monitor.joinable())
        return;
    if (!m_monitorStop)
        m_monitorStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_monitorStop)
        return;
    ResetEvent(m_monitorStop);
    m_monitor = std::thread([this, interval] { monitor_loop(interval); });
}

void CReceiver::stop_monitor()
{
    std::lock_guard<std::mutex> lock(m_monitorMutex);
    if (!m_monitor.joinable())
        return;
    SetEvent(m_monitorStop);
    if (m_monitor.get_id() == std::this_thread::get_id())
        m_monitor.detach();
    else
        m_monitor.join();
}

void CReceiver::monitor_loop(unsigned interval)
{
    if (WaitForSingleObject(m_monitorStop, Timing::scaled(1000)) == WAIT_OBJECT_0)
        return;
    std::vector<std::uint8_t> baseline;
    if (register_read(kReceiverIndex, 0xB3, true, nullptr, baseline) != kRawOk)
        return;
    bool active[7] = {};
    Enumerator* e = enumerator();
    while (WaitForSingleObject(m_monitorStop, Timing::scaled(interval)) == WAIT_TIMEOUT) {
        std::vector<std::uint8_t> now;
        if (register_read(kReceiverIndex, 0xB3, true, nullptr, now) != kRawOk)
            continue;
        for (int i = 1; i <= 6 && e; ++i) {
            const std::uint64_t h = e->find(static_cast<std::int64_t>(handle()), static_cast<std::uint64_t>(i));
            if (!h || static_cast<std::size_t>(i) > now.size() || static_cast<std::size_t>(i) > baseline.size())
                continue;
            const bool changed = now[i - 1] != baseline[i - 1];
            if (changed && !active[i]) {
                active[i] = true;
                e->relay(h, QV_EVENT_USER_ACTIVITY, 1);
            } else if (!changed && active[i]) {
                active[i] = false;
                e->relay(h, QV_EVENT_USER_ACTIVITY, 0);
            }
        }
        baseline = now;
    }
    for (int i = 1; i <= 6 && e; ++i)
        if (active[i])
            if (const std::uint64_t h = e->find(static_cast<std::int64_t>(handle()), static_cast<std::uint64_t>(i)))
                e->relay(h, QV_EVENT_USER_ACTIVITY, 0);
}

}  // namespace qv
