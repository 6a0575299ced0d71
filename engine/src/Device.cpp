#include "Device.h"

#include "Enumerator.h"

#include <cstring>

namespace qv {

CDevice::CDevice(Enumerator* enumerator) : m_enumerator(enumerator)
{
    std::memset(&m_info, 0, sizeof m_info);
    VersionRecord unknown;
    set_prefix(unknown, "UNK");
    copy_bounded(m_info.FW, 80, version_text(unknown));
    copy_bounded(m_info.NextFW, 80, version_text(unknown));
}

CDevice::~CDevice() = default;

bool CDevice::start()
{
    const QV_DEVICE_INFO record = info();
    m_arrived.store(true);
    fire(QV_EVENT_DEVICE_ARRIVAL, record.Parent);
    return true;
}

void CDevice::stop()
{
    if (m_arrived.exchange(false))
        fire(QV_EVENT_DEVICE_REMOVAL, dev_type());
}

int CDevice::read_register(std::uint8_t, std::size_t, std::uint8_t*, int* raw)
{
    if (raw)
        *raw = kRawSystem;
    return QV_NOT_SUPPORTED;
}

int CDevice::write_register(std::uint8_t, std::size_t, std::uint8_t*, int* raw)
{
    if (raw)
        *raw = kRawSystem;
    return QV_NOT_SUPPORTED;
}

bool CDevice::match(std::int64_t, std::uint64_t)
{
    return false;
}

bool CDevice::read_version(VersionRecord&)
{
    return false;
}

int CDevice::pairing_lock(unsigned)
{
    return QV_NOT_SUPPORTED;
}

int CDevice::unpair_self()
{
    return QV_NOT_SUPPORTED;
}

void CDevice::activity_monitor(unsigned) {}

QV_DEVICE_INFO CDevice::info() const
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_info;
}

void CDevice::update_info(const std::function<void(QV_DEVICE_INFO&)>& change)
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    change(m_info);
}

std::uint32_t CDevice::dev_type() const
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_info.DevType;
}

void CDevice::set_version(const VersionRecord& v)
{
    if (!v.present())
        return;
    const WString fw = version_text(v);
    const WString bl = bootloader_text(v);
    update_info([&](QV_DEVICE_INFO& r) {
        if (fw != r.FW)
            copy_bounded(r.FW, 80, fw);
        if (bl != r.BL)
            copy_bounded(r.BL, 80, bl);
    });
}

bool CDevice::acquire()
{
    std::lock_guard<std::mutex> lock(m_refMutex);
    if (m_releasing)
        return false;
    ++m_refs;
    return true;
}

void CDevice::release()
{
    std::lock_guard<std::mutex> lock(m_refMutex);
    --m_refs;
    if (m_refs <= 0)
        m_refsGone.notify_all();
}

void CDevice::release_and_wait()
{
    std::unique_lock<std::mutex> lock(m_refMutex);
    m_releasing = true;
    --m_refs;
    m_refsGone.wait(lock, [&] { return m_refs <= 0; });
}

void CDevice::fire(std::uint32_t event, std::uint64_t value)
{
    if (m_enumerator)
        m_enumerator->relay(handle(), event, value);
}

DeviceRef& DeviceRef::operator=(DeviceRef&& other) noexcept
{
    if (this != &other) {
        reset();
        m_device = other.m_device;
        other.m_device = nullptr;
    }
    return *this;
}

void DeviceRef::reset()
{
    if (m_device)
        m_device->release();
    m_device = nullptr;
}

const char* type_prefix(std::uint32_t devType)
{
    switch (devType) {
    case 0: return "rcv";
    case 1: case 5: case 7: case 8: return "mse";
    case 2: return "kbd";
    case 3: return "nmp";
    default: return "dev";
    }
}

const char* family_prefix(std::uint32_t devType)
{
    switch (devType) {
    case 0: return "RQR";
    case 1: case 5: case 7: case 8: return "RQM";
    case 2: case 3: return "RQK";
    default: return "UNK";
    }
}

bool version_from_register_f1(const char* prefix,
                              const std::function<bool(std::uint8_t, std::uint8_t&, std::uint8_t&)>& read,
                              VersionRecord& out)
{
    VersionRecord v;
    set_prefix(v, prefix);
    std::uint8_t a = 0, b = 0;
    if (!read(1, a, b))
        return false;
    v.number = a == 0xFF ? 0 : a;
    v.release = b == 0xFF ? 0 : b;
    if (read(2, a, b)) {
        const std::uint16_t build = static_cast<std::uint16_t>((a << 8) | b);
        v.build = build == 0xFFFF ? 0 : build;
    }
    if (read(3, a, b)) {
        const std::uint16_t hw = static_cast<std::uint16_t>((a << 8) | b);
        if (hw >= 1 && hw <= 0xFFFE)
            v.hardware = hw;
    }
    if (read(4, a, b)) {
        v.blMajor = a == 0xFF ? 0 : a;
        v.blMinor = b == 0xFF ? 0 : b;
    }
    out = v;
    return v.present();
}

}  // namespace qv
