// The update protocol interface: one object per operation carries the device through
// Prepare, Run and Finish, or Abort.
#pragma once

#include "EngineTypes.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qv {

class DFUProtocol {
public:
    enum Flags : std::uint32_t { kSilent = 1, kRecovery = 2 };

    explicit DFUProtocol(std::uint32_t flags) : m_flags(flags) {}
    virtual ~DFUProtocol() = default;

    virtual int Prepare() = 0;
    virtual int Run(FirmwareRecord& firmware, FirmwareRecord* signature) = 0;
    virtual int Finish() = 0;
    virtual int Abort(int code) = 0;
    virtual int GetInfo(VersionRecord& version, std::uint64_t& handle) = 0;
    // Ends waits and transfers in progress (the operation is being stopped).
    virtual void stop() {}
    // Checks the image before anything touches the device; 0 or 11.
    virtual int check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature) = 0;

    std::uint32_t flags() const { return m_flags; }
    void set_flags(std::uint32_t flags) { m_flags = flags; }
    std::uint64_t event_handle() const { return m_event; }
    std::uint64_t target() const { return m_target; }
    std::uint64_t carrier() const { return m_carrier; }
    void set_handles(std::uint64_t target, std::uint64_t carrier, std::uint64_t event)
    {
        m_target = target;
        m_carrier = carrier;
        m_event = event;
    }

protected:
    std::uint32_t m_flags;
    std::uint64_t m_event = 0;
    std::uint64_t m_target = 0;
    std::uint64_t m_carrier = 0;
};

// Progress counters of a transfer.
struct Progress {
    std::uint32_t step = 1;       // packets per percent
    std::uint32_t countdown = 1;  // to the next percent
    std::uint32_t sent = 0;
    std::uint32_t percent = 0;
    std::uint32_t failures = 0;
    std::uint32_t restarts = 0;

    void set_step(std::uint32_t packetsPerPercent)
    {
        step = packetsPerPercent == 0 ? 1 : packetsPerPercent;
        countdown = step;
    }
    // One packet more; true when the percent rose (never past 100).
    bool advance()
    {
        ++sent;
        if (--countdown > 0)
            return false;
        countdown = step;
        if (percent >= 100)
            return false;
        ++percent;
        return true;
    }
    // Packets per percent for the rest: n / (100 - percent), rounded, at least 1.
    static std::uint32_t step_for(std::size_t n, std::uint32_t percent)
    {
        const std::uint32_t left = percent >= 100 ? 1 : 100 - percent;
        const std::uint32_t s = static_cast<std::uint32_t>((n + left / 2) / left);
        return s == 0 ? 1 : s;
    }
};

}  // namespace qv
