#include "DebugLog.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::int64_t read_performance_counter()
{
    LARGE_INTEGER now;
    return QueryPerformanceCounter(&now) ? now.QuadPart : 0;
}

std::atomic<std::int64_t (*)()> g_counter{&read_performance_counter};

// Seconds since the program started; set up before main runs.
struct Stopwatch {
    Stopwatch()
    {
        LARGE_INTEGER frequency;
        if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart != 0)
            factor = 1.0 / static_cast<double>(frequency.QuadPart);
        start = read_performance_counter();
    }
    double factor = 0.0;
    std::int64_t start = 0;
};
Stopwatch g_stopwatch;

// The handle is touched by open and close at start and quit, and by writers from any thread.
std::mutex g_file_mutex;
HANDLE g_file = INVALID_HANDLE_VALUE;

using FileSink = void (*)(const char* text);
std::atomic<FileSink> g_file_sink{nullptr};

std::mutex& sink_mutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr std::size_t kBufferSize = 1024;

void write_to_file(const char* text)
{
    // Line feeds go out as CR LF.
    std::string converted;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            converted += '\r';
        converted += *p;
    }
    std::lock_guard<std::mutex> lock(g_file_mutex);
    if (g_file == INVALID_HANDLE_VALUE || converted.empty())
        return;
    DWORD written = 0;
    WriteFile(g_file, converted.data(), static_cast<DWORD>(converted.size()), &written, nullptr);
}

void close_file()
{
    std::lock_guard<std::mutex> lock(g_file_mutex);
    if (g_file != INVALID_HANDLE_VALUE)
        CloseHandle(g_file);
    g_file = INVALID_HANDLE_VALUE;
}

// Stamps `text` (taken as it is, never as a format) and hands the line to both outputs.
void write_stamped(const char* format, va_list* args, const char* text)
{
    char line[kBufferSize];
    const double seconds =
        static_cast<double>(g_counter.load()() - g_stopwatch.start) * g_stopwatch.factor;
    int stamp = std::snprintf(line, sizeof line, "%09.3f: ", seconds);
    // From 100000 s on the stamp is longer than its usual 11 characters.
    std::size_t offset = stamp < 0 ? 0 : static_cast<std::size_t>(stamp);
    if (offset > kBufferSize - 1)
        offset = kBufferSize - 1;
    if (args)
        std::vsnprintf(line + offset, kBufferSize - offset, format, *args);
    else
        std::snprintf(line + offset, kBufferSize - offset, "%s", text);
    if (FileSink sink = g_file_sink.load())
        sink(line);
    OutputDebugStringA(line);
}

} // namespace

std::string debugLogPath()
{
    char folder[kBufferSize];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return std::string();
    std::string path(folder, length);
    path += "Ravelin";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\Quillon.log";
}

void debugLogOpen()
{
    const std::string path = debugLogPath();
    close_file();
    if (path.empty())
        return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    {
        std::lock_guard<std::mutex> lock(g_file_mutex);
        g_file = file;
    }
    g_file_sink.store(&write_to_file);
}

void debugLogClose()
{
    debugLogPath();
    close_file();
}

void debugLogWrite(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    write_stamped(format, &args, nullptr);
    va_end(args);
}

int debugLogSink(const char* format, va_list args)
{
    std::lock_guard<std::mutex> lock(sink_mutex());
    char text[kBufferSize];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    write_stamped(nullptr, nullptr, text);
    return 0;
}

void debugLogSetCounterForTest(std::int64_t (*counter)())
{
    g_counter.store(counter ? counter : &read_performance_counter);
}

std::int64_t debugLogStartForTest() { return g_stopwatch.start; }
