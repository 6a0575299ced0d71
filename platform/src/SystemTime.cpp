// The wall clock: GetLocalTime, GetSystemTime and GetSystemTimeAsFileTime.
#include "FileSupport.h"

#include <ctime>

using namespace platform::detail;

namespace {
void fill_time(LPSYSTEMTIME time, bool local) {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm parts;
    if (local)
        ::localtime_r(&ts.tv_sec, &parts);
    else
        ::gmtime_r(&ts.tv_sec, &parts);
    time->wYear = static_cast<WORD>(parts.tm_year + 1900);
    time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time->wDay = static_cast<WORD>(parts.tm_mday);
    time->wHour = static_cast<WORD>(parts.tm_hour);
    time->wMinute = static_cast<WORD>(parts.tm_min);
    time->wSecond = static_cast<WORD>(parts.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}
}  // namespace

void GetLocalTime(LPSYSTEMTIME time) {
    if (time) fill_time(time, true);
}

void GetSystemTime(LPSYSTEMTIME time) {
    if (time) fill_time(time, false);
}

void GetSystemTimeAsFileTime(LPFILETIME time) {
    if (!time) return;
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    *time = to_filetime(ts);
}
