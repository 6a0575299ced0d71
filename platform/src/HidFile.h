// An open handle of a simulated HID collection, and the collection's internal state.
#pragma once

#include "KernelObject.h"

#include <sim/HidCollection.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::sim {
struct HidCollectionAccess;
}

namespace platform::detail {

class HidFile : public KernelObject {
public:
    HidFile(std::shared_ptr<sim::HidCollection> collection, DWORD access, DWORD shareMode, bool overlapped);

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override;
    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override;
    BOOL cancel_io(LPOVERLAPPED overlapped) override;
    void on_close() override;

    const std::shared_ptr<sim::HidCollection>& collection() const { return m_collection; }
    // The device vanished under this handle; it stays dead even when the device returns.
    bool is_gone() const;

    // CreateFileW for device interface paths.
    static HANDLE open(LPCWSTR path, DWORD access, DWORD shareMode, DWORD creation, DWORD flags);

private:
    friend class sim::HidCollection;
    friend struct sim::HidCollectionAccess;

    struct PendingRead {
        LPOVERLAPPED overlapped = nullptr;
        std::uint8_t* buffer = nullptr;
        DWORD thread = 0;
    };

    // All below is guarded by the collection's mutex.
    // Why a read or write cannot start (0: it can), checked in the same order for both.
    DWORD refusal_locked(bool permitted, LPCVOID buffer, bool sizeFits, LPOVERLAPPED overlapped, DWORD length) const;
    void deliver_locked(const sim::Bytes& report);
    void fail_all_locked(DWORD error);

    const std::shared_ptr<sim::HidCollection> m_collection;
    const DWORD m_access;
    const DWORD m_share;
    const bool m_overlapped;
    std::deque<sim::Bytes> m_queue;
    std::deque<PendingRead> m_reads;
    // The injected error this read fails with (0: none), counted off. Under the collection's mutex.
    DWORD take_read_error_locked() {
        const DWORD error = m_read_error;
        if (m_read_errors_left > 1) {
            --m_read_errors_left;
        } else {
            m_read_error = 0;
            m_read_errors_left = 0;
        }
        return error;
    }
    DWORD m_read_error = 0;
    unsigned m_read_errors_left = 0;  // reads still to fail with m_read_error
    bool m_gone = false;
    bool m_closed = false;
};

}  // namespace platform::detail

namespace platform::sim {

struct HidCollection::Held {
    std::shared_ptr<detail::HidFile> file;
    LPOVERLAPPED overlapped = nullptr;
    Bytes report;
    DWORD thread = 0;
};

struct HidCollection::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool present = false;
    std::shared_ptr<IHidDeviceModel> model;
    std::vector<detail::HidFile*> files;  // open handles; each removes itself on close
    bool stalled = false;
    std::deque<DWORD> write_failures;
    bool hold = false;
    std::vector<Held> held;
    std::vector<Bytes> written;
};

// What the device tree and the HID functions reach inside a collection.
struct HidCollectionAccess {
    static void setPresent(HidCollection& collection, bool present);
    static void notifyModel(HidCollection& collection, bool present);
    static HidCollection::State& state(HidCollection& collection) { return *collection.m_state; }
    static std::uint16_t featureLength(const HidCollection& collection) { return collection.m_featureLength; }
};

}  // namespace platform::sim
