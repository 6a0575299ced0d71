// Every object of the engine's device table: its record, its handle and its reference count.
#pragma once

#include "EngineTypes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace qv {

class Enumerator;

class CDevice {
public:
    explicit CDevice(Enumerator* enumerator);
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    // Fires event 0 with the Parent as value.
    virtual bool start();
    // Fires event 1 with the DevType as value when the device had arrived.
    virtual void stop();
    virtual int read_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw);
    virtual int write_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw);
    // kind -2: a collection file handle; 0: a device instance; a receiver's handle: a device index.
    virtual bool match(std::int64_t kind, std::uint64_t value);
    virtual bool read_version(VersionRecord& out);
    virtual int pairing_lock(unsigned seconds);
    virtual int unpair_self();
    virtual void activity_monitor(unsigned interval);

    std::uint64_t handle() const { return m_handle.load(); }
    void set_handle(std::uint64_t handle) { m_handle.store(handle); }
    Enumerator* enumerator() const { return m_enumerator; }

    QV_DEVICE_INFO info() const;
    void update_info(const std::function<void(QV_DEVICE_INFO&)>& change);
    // FW and BL from a present version, each written only when it changes.
    void set_version(const VersionRecord& v);
    std::uint32_t dev_type() const;

    bool busy() const { return m_busy.load(); }
    void set_busy(bool busy) { m_busy.store(busy); }

    // References: the table holds the first; lookups add one each and fail once releasing.
    bool acquire();
    void release();
    // Marks the device as going and waits until every reference is released.
    void release_and_wait();

protected:
    void fire(std::uint32_t event, std::uint64_t value);
    bool arrived() const { return m_arrived.load(); }

private:
    Enumerator* const m_enumerator;
    std::atomic<std::uint64_t> m_handle{0};
    std::atomic<bool> m_arrived{false};
    std::atomic<bool> m_busy{false};

    mutable std::mutex m_infoMutex;
    QV_DEVICE_INFO m_info;

    std::mutex m_refMutex;
    std::condition_variable m_refsGone;
    int m_refs = 1;
    bool m_releasing = false;
};

// A counted reference to a table entry; releases on destruction.
class DeviceRef {
public:
    DeviceRef() = default;
    explicit DeviceRef(CDevice* device) : m_device(device) {}
    DeviceRef(DeviceRef&& other) noexcept : m_device(other.m_device) { other.m_device = nullptr; }
    DeviceRef& operator=(DeviceRef&& other) noexcept;
    ~DeviceRef() { reset(); }
    DeviceRef(const DeviceRef&) = delete;
    DeviceRef& operator=(const DeviceRef&) = delete;

    void reset();
    CDevice* get() const { return m_device; }
    CDevice* operator->() const { return m_device; }
    explicit operator bool() const { return m_device != nullptr; }
    template <class T>
    T* as() const { return dynamic_cast<T*>(m_device); }

private:
    CDevice* m_device = nullptr;
};

// Type and family prefixes by DevType.
const char* type_prefix(std::uint32_t devType);
const char* family_prefix(std::uint32_t devType);

// The version from register 0xF1 read with parameters 1 to 4; `read` gives reply bytes 1 and 2.
// Absent when the first read fails.
bool version_from_register_f1(const char* prefix,
                              const std::function<bool(std::uint8_t parameter, std::uint8_t& b1, std::uint8_t& b2)>& read,
                              VersionRecord& out);

}  // namespace qv
