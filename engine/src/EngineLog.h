// The engine's files: its log (kept within a size bound, written by nobody), the statistics
// file of update attempts, and the marker that exists while an update runs.
#pragma once

#include "EngineTypes.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace qv {

class EngineLog {
public:
    static EngineLog& instance();

    bool started() const { return m_started; }
    void write_statistics(const WString& line);
    // With a text: the marker holds exactly it; with none: the marker is deleted. 0 without the folder.
    int pending_marker(const WString* text);
    bool statistics_on() const { return m_statistics != INVALID_HANDLE_VALUE; }
    bool verbose() const { return m_verbose; }
    WString folder() const { return m_folder; }
    WString statistics_path() const { return m_statisticsPath; }

    static WString record_dump(const QV_DEVICE_INFO& record);
    static WString hex_dump(const std::uint8_t* bytes, std::size_t count);
    // The kept tail of an over-long log: the cut first line blanked up to its CR, a NUL last.
    static std::vector<std::uint8_t> trimmed_tail(const std::vector<std::uint8_t>& tail);
    // Process-wide attempt number of the statistics lines, starting at 0.
    static int next_attempt();

    static constexpr std::uint64_t kTrimAbove = 10000000;
    static constexpr std::uint64_t kKeep = 1000000;

private:
    EngineLog();
    bool start();
    void trim();
    void write_line(HANDLE file, const WString& line);

    std::mutex m_mutex;
    bool m_started = false;
    WString m_folder;  // "...\TarnShrd\Ravelin", empty without the application-data folder
    WString m_statisticsPath;
    HANDLE m_log = INVALID_HANDLE_VALUE;
    HANDLE m_statistics = INVALID_HANDLE_VALUE;
    bool m_verbose = false;
};

}  // namespace qv
