#include "WirelessDevice.h"

#include "DfuManager.h"
#include "Enumerator.h"
#include "Receiver.h"

#include <cstring>

namespace qv {

CWirelessDevice::CWirelessDevice(Enumerator* enumerator, CReceiver* receiver, std::uint8_t index,
                                 std::uint32_t devType)
    : CDevice(enumerator), m_receiver(receiver), m_index(index)
{
    m_linkUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_linkLost = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const QV_DEVICE_INFO rx = receiver->info();
    update_info([&](QV_DEVICE_INFO& r) {
        r.DevType = devType;
        r.Parent = receiver->handle();
        r.RadioType = rx.RadioType;
        r.RadioStatus = 0;
        r.DFUStatus = QV_DFU_NO_NEWER_FW;
        r.Battery = 0;
    });
}

CWirelessDevice::~CWirelessDevice()
{
    CDevice::stop();
    if (m_linkUp)
        CloseHandle(m_linkUp);
    if (m_linkLost)
        CloseHandle(m_linkLost);
}

std::uint32_t CWirelessDevice::model_id_of(const std::uint8_t* p)
{
    const std::uint32_t pid = static_cast<std::uint32_t>(p[2]) | (static_cast<std::uint32_t>(p[3]) << 8);
    switch (p[0]) {
    case 1: return 0x10000 + pid;
    case 2: return 0x20000 + p[3];
    case 3: case 4: case 5: case 12: return 0x30000 + pid;
    default: return 0;
    }
}

int CWirelessDevice::radio_type_of(std::uint8_t protocol, int receiverRadioType)
{
    switch (protocol) {
    case 1: return 1;
    case 2: return 0;
    case 5: return 5;
    case 3: case 4: case 6: case 7: case 10: case 12: case 13: return receiverRadioType;
    default: return -1;
    }
}

bool CWirelessDevice::fill_from_notification(const std::uint8_t* p)
{
    const int radioType = radio_type_of(p[0], m_receiver->info().RadioType);
    if (radioType < 0)
        return false;
    const std::uint32_t model = model_id_of(p);
    update_info([&](QV_DEVICE_INFO& r) {
        r.ModelID = model;
        r.RadioType = radioType;
    });
    if (radioType == 0) {
        update_info([](QV_DEVICE_INFO& r) { r.RadioStatus = 5; });
        set_battery(read_battery());
        return true;
    }
    std::vector<std::uint8_t> reply;
    const std::uint8_t namePage[3] = {static_cast<std::uint8_t>(0x40 + m_index - 1), 0, 0};
    if (m_receiver->device_read(0xFF, 0xB5, true, namePage, reply, nullptr) == QV_SUCCESS && reply.size() >= 2) {
        // The reply holds at most 14 characters after its length byte.
        const std::size_t n = std::min<std::size_t>({reply[1], 14, reply.size() - 2});
        std::string name(reinterpret_cast<const char*>(reply.data() + 2), n);
        update_info([&](QV_DEVICE_INFO& r) { copy_bounded(r.Name, 80, widen(name)); });
    }
    reply.clear();
    const std::uint8_t pairPage[3] = {static_cast<std::uint8_t>(0x30 + m_index - 1), 0, 0};
    if (m_receiver->device_read(0xFF, 0xB5, true, pairPage, reply, nullptr) == QV_SUCCESS && reply.size() >= 10) {
        const WString sn = wformat("%04X-%02X-%02X-%02X-%02X", model & 0xFFFF, reply[1], reply[2], reply[3], reply[4]);
        update_info([&](QV_DEVICE_INFO& r) {
            copy_bounded(r.SN, 80, sn);
            r.Slider = reply[9] & 0x0F;
        });
    }
    m_link.store(0);  // neither state yet: the first notification always applies
    apply_link(p);
    VersionRecord v;
    if (read_version(v))
        set_version(v);
    return true;
}

bool CWirelessDevice::belongs(const std::uint8_t* p) const
{
    return busy() || model_id_of(p) == info().ModelID;
}

void CWirelessDevice::apply_link(const std::uint8_t* p)
{
    set_link((p[1] & 0x40) != 0, true);
}

void CWirelessDevice::set_link(bool lost, bool notify)
{
    const int state = lost ? 2 : 1;
    if (m_link.exchange(state) == state)
        return;
    if (lost) {
        update_info([](QV_DEVICE_INFO& r) { r.RadioStatus = 1; });
        ResetEvent(m_linkUp);
        SetEvent(m_linkLost);
    } else {
        update_info([](QV_DEVICE_INFO& r) { r.RadioStatus = 0; });
        ResetEvent(m_linkLost);
        SetEvent(m_linkUp);
        if (!busy()) {
            const QV_DEVICE_INFO r = info();
            VersionRecord known;
            split_version_text(r.FW, known);
            if (!(known.present() && r.DFUStatus != QV_DFU_FAILED))
                DfuManager::instance().request_check();
            if (r.Battery != 1)
                set_battery(read_battery());
        }
    }
    if (notify && arrived())
        fire(QV_EVENT_WIRELESS_STATUS, static_cast<std::uint64_t>(info().RadioStatus));
}

void CWirelessDevice::set_battery(int code)
{
    int old = 0;
    update_info([&](QV_DEVICE_INFO& r) {
        old = r.Battery;
        r.Battery = code;
    });
    if (old != code && arrived())
        fire(QV_EVENT_BATTERY_STATUS, static_cast<std::uint64_t>(code));
}

int CWirelessDevice::battery_from_0d(std::uint32_t value)
{
    switch ((value >> 22) & 3) {
    case 0: {
        const unsigned percent = value & 0x7F;
        if (percent >= 1 && percent <= 30)
            return 2;
        if (percent >= 31 && percent <= 100)
            return 3;
        return 0;
    }
    case 1: return 4;
    case 2: return 6;
    default: return 5;
    }
}

int CWirelessDevice::battery_from_07(std::uint8_t b0, std::uint8_t b1)
{
    if (b1 == 0)  // discharging: byte 0 is the level class, 1 critical
        return b0 == 0 ? 0 : b0 == 1 ? 2 : 3;
    switch (b1) {
    case 0x21: return 4;
    case 0x22: return 6;
    case 0x23: return 5;
    default: return 4;
    }
}

int CWirelessDevice::battery_from_feature(const std::vector<std::uint8_t>& reply)
{
    if (reply.size() < 3)
        return -1;
    if (reply[2] == 0)
        return reply[0] < 31 ? 2 : 3;
    return reply[2] + 4;
}

void CWirelessDevice::battery_from_notification(std::uint8_t subId, const std::uint8_t* p)
{
    if (subId == 0x0D)
        set_battery(battery_from_0d((static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2]));
    else
        set_battery(battery_from_07(p[0], p[1]));
}

int CWirelessDevice::read_battery()
{
    const int gen = generation();
    if (gen == kFeatures20 || gen == kFeatures4x) {
        std::uint8_t idx = 0;
        if (feature_index(0x1000, idx) != QV_SUCCESS)
            return info().Battery;
        std::vector<std::uint8_t> reply;
        if (feature_request(idx, 0, {}, reply) != QV_SUCCESS)
            return info().Battery;
        const int code = battery_from_feature(reply);
        return code < 0 ? info().Battery : code;
    }
    std::uint8_t v[3] = {0, 0, 0};
    if (read_register(0x0D, 3, v, nullptr) == QV_SUCCESS)
        return battery_from_0d((static_cast<std::uint32_t>(v[0]) << 16) | (v[1] << 8) | v[2]);
    std::memset(v, 0, sizeof v);
    if (read_register(0x07, 3, v, nullptr) == QV_SUCCESS)
        return battery_from_07(v[0], v[1]);
    if (m_batteryFailures.fetch_add(1) + 1 > 10)
        return 1;
    return info().Battery;
}

int CWirelessDevice::read_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw)
{
    if (link_lost()) {
        if (raw)
            *raw = kRawLinkLost;
        return QV_LINK_LOSS;
    }
    std::vector<std::uint8_t> payload;
    const int code = m_receiver->device_read(m_index, reg, length > 3, buffer, payload, raw);
    if (code == QV_SUCCESS && buffer)
        std::memcpy(buffer, payload.data(), std::min(length, payload.size()));
    return code;
}

int CWirelessDevice::write_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw)
{
    if (m_link.load() != 1) {
        if (raw)
            *raw = kRawLinkLost;
        return QV_LINK_LOSS;
    }
    std::vector<std::uint8_t> payload;
    const int code = m_receiver->device_write(m_index, reg, buffer, length, &payload, raw);
    if (code == QV_SUCCESS && buffer)
        std::memcpy(buffer, payload.data(), std::min(length, payload.size()));
    return code;
}

int CWirelessDevice::long_write(std::uint8_t reg, const std::uint8_t* data16, std::vector<std::uint8_t>& reply, int* raw)
{
    if (m_link.load() != 1) {
        if (raw)
            *raw = kRawLinkLost;
        return QV_LINK_LOSS;
    }
    return m_receiver->device_write(m_index, reg, data16, 16, &reply, raw);
}

bool CWirelessDevice::match(std::int64_t kind, std::uint64_t value)
{
    if (m_receiver && static_cast<std::uint64_t>(kind) == m_receiver->handle())
        return value == m_index;
    return false;
}

int CWirelessDevice::unpair_self()
{
    return m_receiver->unpair(m_index);
}

int CWirelessDevice::feature_request(std::uint8_t featureIndex, std::uint8_t function,
                                     const std::vector<std::uint8_t>& params, std::vector<std::uint8_t>& reply, int* raw)
{
    if (link_lost()) {
        if (raw)
            *raw = kRawLinkLost;
        return QV_LINK_LOSS;
    }
    std::vector<std::uint8_t> p = params;
    p.resize(16, 0);
    const int r = m_receiver->feature_request(m_index, featureIndex, function, p, reply);
    if (raw)
        *raw = r;
    return map_raw(r);
}

int CWirelessDevice::generation()
{
    const int known = m_generation.load();
    if (known != kUnknown)
        return known;
    std::vector<std::uint8_t> reply;
    int raw = 0;
    feature_request(0, 1, {}, reply, &raw);
    const int gen = generation_of(raw, reply);
    if (gen != kUnknown)
        m_generation.store(gen);
    return gen;
}

int CWirelessDevice::generation_of(int raw, const std::vector<std::uint8_t>& reply)
{
    if (raw == 1)
        return kRegisters;
    if (raw == kRawOk && reply.size() >= 2 && reply[0] == 2 && reply[1] == 0)
        return kFeatures20;
    if (raw == kRawOk && !reply.empty() && reply[0] == 4)
        return kFeatures4x;
    return kUnknown;
}

std::uint8_t CWirelessDevice::feature_index_of(const std::vector<std::uint8_t>& reply)
{
    return reply.empty() ? 0 : reply[0];
}

int CWirelessDevice::feature_index(std::uint16_t featureId, std::uint8_t& index)
{
    std::vector<std::uint8_t> reply;
    const int code = feature_request(0, 0, {static_cast<std::uint8_t>(featureId >> 8), static_cast<std::uint8_t>(featureId)},
                                     reply);
    if (code != QV_SUCCESS)
        return code;
    const std::uint8_t found = feature_index_of(reply);
    if (found == 0)
        return QV_DEVICE_ERROR;
    index = found;
    return QV_SUCCESS;
}

bool CWirelessDevice::read_version(VersionRecord& out)
{
    const int gen = generation();
    if ((gen == kFeatures20 || gen == kFeatures4x) && !busy()) {
        std::uint8_t idx = 0;
        if (feature_index(0x0003, idx) != QV_SUCCESS)
            return false;
        std::vector<std::uint8_t> reply;
        if (feature_request(idx, 0, {}, reply) != QV_SUCCESS || reply.empty())
            return false;
        const int entities = reply[0];
        VersionRecord v;
        bool found = false;
        for (int e = 0; e < entities && e < 16; ++e) {
            reply.clear();
            if (feature_request(idx, 1, {static_cast<std::uint8_t>(e)}, reply) == QV_SUCCESS)
                version_entity(reply, v, found);
        }
        if (!found)
            return false;
        out = v;
        return v.present();
    }
    // Protocol 1.0, a device of unknown protocol, or one held by an update (in its bootloader).
    return version_from_register_f1(
        family_prefix(dev_type()),
        [&](std::uint8_t parameter, std::uint8_t& a, std::uint8_t& b) {
            std::uint8_t buf[3] = {parameter, 0, 0};
            if (read_register(0xF1, 3, buf, nullptr) != QV_SUCCESS)
                return false;
            a = buf[1];
            b = buf[2];
            return true;
        },
        out);
}

bool CWirelessDevice::version_entity(const std::vector<std::uint8_t>& reply, VersionRecord& v, bool& found)
{
    if (reply.size() < 8)
        return false;
    const int type = reply[0] & 0x0F;
    if (type == 0 && !found) {
        char prefix[4] = {static_cast<char>(reply[1]), static_cast<char>(reply[2]), static_cast<char>(reply[3]), 0};
        set_prefix(v, prefix);
        v.number = reply[4];
        v.release = reply[5];
        const std::uint16_t build = static_cast<std::uint16_t>((reply[6] << 8) | reply[7]);
        v.build = build == 0xFFFF ? 0 : build;
        found = true;
    } else if (type == 1) {
        v.blMajor = static_cast<std::uint16_t>((reply[4] << 8) | reply[5]);
        v.blMinor = static_cast<std::uint16_t>((reply[6] << 8) | reply[7]);
    }
    return true;
}

int CWirelessDevice::switch_to_bootloader()
{
    const int gen = generation();
    if (link_lost())
        return QV_DEVICE_ERROR;
    // The device drops its link to restart in its bootloader, and news of the drop may overtake
    // the reply (it travels on another collection): a link lost while the request was out is the
    // switch taking effect. Whether the device really restarted shows when its link comes back.
    auto switched = [](int code) { return code == QV_SUCCESS || code == QV_LINK_LOSS ? QV_SUCCESS : QV_DEVICE_ERROR; };
    if (gen == kFeatures20 || gen == kFeatures4x) {
        std::uint8_t idx = 0;
        if (feature_index(0x00C0, idx) != QV_SUCCESS)
            return QV_INVALID_HANDLE;
        std::vector<std::uint8_t> reply;
        return switched(feature_request(idx, 0, {'D', 'F', 'U'}, reply));
    }
    if (gen == kRegisters) {
        std::uint8_t ota[3] = {'O', 'T', 'A'};
        return switched(write_register(0xF0, 3, ota, nullptr));
    }
    return QV_DEVICE_ERROR;
}

}  // namespace qv
