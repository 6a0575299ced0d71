// A USB receiver in application mode: its collections, identity, version, the announcement of
// the devices paired to it, and their notifications.
#pragma once

#include "Device.h"
#include "TSLDevice.h"

#include <hidsdi.h>

#include <atomic>
#include <map>
#include <thread>

namespace qv {

class CReceiver : public CDevice, public CTSLDevice {
public:
    enum Kind { kSorrel = 0, kMira = 2, kVelmira = 3, kQv = 4, kQvGaming = 9, kVelmiraRom = 10 };

    CReceiver(Enumerator* enumerator, int kind, DWORD parentInstance);
    ~CReceiver() override;

    bool start() override;
    void stop() override;
    int read_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw) override;
    int write_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw) override;
    bool match(std::int64_t kind, std::uint64_t value) override;
    bool read_version(VersionRecord& out) override;
    int pairing_lock(unsigned seconds) override;
    void activity_monitor(unsigned interval) override;
    virtual int unpair(int index);
    void identity(const HIDD_ATTRIBUTES& attributes);

    int kind() const { return m_kind; }
    // `DevType` of a device from its connection notification's payload (all bits set: unknown).
    static std::uint32_t dev_type_of(const std::uint8_t* payload);
    DWORD parent_instance() const { return m_parentInstance; }

    // Announcement of the paired devices, after start and on each discovery tick.
    void discover();
    void discovery_tick();

    // Over-the-air recovery: the next device found in its bootloader is remembered.
    void expect_bootloader_device();
    std::uint64_t remembered_bootloader_device() const { return m_bootloaderDevice.load(); }
    // Ends the transport's waits ahead of a removal.
    void signal_quit();

    // Register access by device index (paired devices go through here).
    int device_read(std::uint8_t index, std::uint8_t reg, bool longReg, const std::uint8_t* params,
                    std::vector<std::uint8_t>& payload, int* raw);
    int device_write(std::uint8_t index, std::uint8_t reg, const std::uint8_t* data, std::size_t length,
                     std::vector<std::uint8_t>* payload, int* raw);

    // Reports are acted on only once started; a harness without a transport starts them so.
    void accept_reports() { m_started.store(true); }

protected:
    void OnReport(const std::uint8_t* report, std::size_t length) override;

private:
    bool accepts(std::uint8_t subId, bool receiverItself) const;
    void on_connection(std::uint8_t index, const std::uint8_t* payload);
    void on_status(const std::uint8_t* payload);
    void announced(std::uint8_t index);
    void forget_announced(std::uint8_t index);
    void monitor_loop(unsigned interval);
    void stop_monitor();

    const int m_kind;
    const DWORD m_parentInstance;

    std::mutex m_discoveryMutex;       // the discovery step and tick, from several threads
    int m_owed = 0;                    // devices still to be announced, counted in the enumerator too
    unsigned m_announced = 0;          // bit per device index announced so far: repeats owe nothing
    int m_retries = 0;
    bool m_timerRunning = false;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_expectBootloader{false};
    std::atomic<std::uint64_t> m_bootloaderDevice{0};
    std::atomic<bool> m_lockClosedByHost{false};

    std::mutex m_monitorMutex;
    std::thread m_monitor;
    HANDLE m_monitorStop = nullptr;
};

}  // namespace qv
