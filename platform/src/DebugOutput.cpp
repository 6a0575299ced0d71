// Debugger output: kept for tests to read, optionally echoed to stderr.
#include "DebugOutput.h"
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace platform::detail {

// --- debugger output ---
namespace {
struct DebugOutput {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> lines;
    bool echo = std::getenv("QUILLON_DEBUG_ECHO") != nullptr;
};
DebugOutput& debug() {
    static DebugOutput& output = *new DebugOutput;
    return output;
}
}  // namespace

void debug_append(std::string text) {
    auto& d = debug();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.echo) std::fprintf(stderr, "%s", text.c_str());
        d.lines.push_back(std::move(text));
    }
    d.cv.notify_all();
}

void reset_debug_output() {
    std::lock_guard<std::mutex> lock(debug().mutex);
    debug().lines.clear();
}

}  // namespace platform::detail

using namespace platform::detail;

void OutputDebugStringA(LPCSTR text) { debug_append(text ? std::string(text) : std::string()); }
void OutputDebugStringW(LPCWSTR text) { debug_append(utf16_to_utf8(wide_string(text))); }
BOOL IsDebuggerPresent() { return FALSE; }

namespace platform::sim {

std::vector<std::string> debug_output() {
    std::lock_guard<std::mutex> lock(debug().mutex);
    return debug().lines;
}

void clear_debug_output() { reset_debug_output(); }

void set_debug_echo(bool toStderr) {
    std::lock_guard<std::mutex> lock(debug().mutex);
    debug().echo = toStderr;
}

bool wait_for_debug_output(const std::string& containing, unsigned timeoutMs) {
    auto& d = debug();
    std::unique_lock<std::mutex> lock(d.mutex);
    return d.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& line : d.lines)
            if (line.find(containing) != std::string::npos) return true;
        return false;
    });
}

}  // namespace platform::sim
