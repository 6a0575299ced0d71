// One HID collection opened with overlapped I/O: decides whether it speaks the protocol,
// learns its report ids and length, writes padded reports with a bounded wait and runs one
// reader thread that publishes every input report.
#pragma once

#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devio {

class IWin32System;
class Win32Bus;

class Win32Device : public IHardwareDevice,
                    public Producer<IHardwareDevice::Write>,
                    public Producer<IHardwareDevice::Read>,
                    public Producer<IHardwareDevice::Connect>,
                    public Producer<IHardwareDevice::FastDisconnect>,
                    public std::enable_shared_from_this<Win32Device> {
public:
    static constexpr std::uint16_t kVendorId = 0x7E51;

    Win32Device(std::shared_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path,
                std::uint32_t parentKind);
    ~Win32Device() override;

    bool isConnected() override { return true; }
    bool open() override;
    void close() override;
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override;
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return m_product_id; }
    std::string getName() override;
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return TransportUsbHid; }
    std::uint32_t getSubIndex() override { return 0; }
    bool stillPresent() override;
    std::string getParentId() override;
    std::uint32_t getUsage() override { return m_usage & 0xFF; }
    std::uint32_t getProtocolKind() override;
    std::uint32_t getMaxReportLength() override { return m_report_length; }

    virtual void readerLoop();

    std::uint32_t parentKind() const { return m_parent_kind; }
    std::uint16_t getVendorId() const { return m_vendor_id; }
    std::uint16_t getUsagePage() const { return m_usage_page; }
    std::map<int, int> reportIds() const { return m_report_ids; }
    // Vendor and product id from an interface path; both 0 when the path has none.
    static void ids_from_path(const std::string& path, std::uint16_t& vendorId, std::uint16_t& productId);
    // Write time-out in ms (10000), under the process-wide scale of long waits.
    void setWriteTimeout(std::uint32_t ms) { m_write_timeout = ms; }

protected:
    bool on_subscribe(IHardwareDevice::Read* subscriber) override;

private:
    bool inspect();
    void read_parent_id();
    void start_reader();
    void close_locked();
    void publish_write(const std::vector<Byte>& data, ErrorCode code, std::uint32_t detail);

    std::atomic<bool> m_read_subscriber{false};
    std::atomic<bool> m_opened{false};
    std::string m_parent_id;
    std::string m_name;
    std::weak_ptr<Win32Bus> m_bus;
    std::shared_ptr<IWin32System> m_system;
    const std::string m_path;
    const std::uint32_t m_parent_kind;
    std::uint16_t m_vendor_id = 0;
    std::uint16_t m_product_id = 0;
    std::uint16_t m_report_length = 0;
    std::uint16_t m_usage = 0;
    std::uint16_t m_usage_page = 0;
    std::map<int, int> m_report_ids;
    std::uint32_t m_write_timeout = 10000;
    bool m_inspected = false;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    HDEVNOTIFY m_notification = nullptr;
    HANDLE m_write_event = nullptr;
    std::vector<HANDLE> m_reader_events;  // [stop, read]
    OVERLAPPED m_read_operation{};
    std::unique_ptr<std::thread> m_reader;
    std::thread::id m_reader_id;
    // Set when the running reader must leave; shared so a reader whose device was destroyed
    // under it (on its own thread) can still see it.
    std::shared_ptr<std::atomic<bool>> m_reader_stop;
    bool m_reader_started = false;
    std::mutex m_reader_mutex;
    std::condition_variable m_reader_condition;
    std::atomic<bool> m_reader_running{false};
    std::atomic<bool> m_destroying{false};
    std::atomic<bool> m_gone{false};
    std::atomic<std::uint64_t> m_plug_generation{0};  // the bus's arrivals of the path when opened

    std::recursive_mutex m_state_mutex;  // open / close
    std::mutex m_write_mutex;            // one write at a time on the shared write event
};

} // namespace devio
