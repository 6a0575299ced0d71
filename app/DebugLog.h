// The application's debug log: stamped lines to the debugger output and to
// "<temp>\Ravelin\Quillon.log", recreated at each start.
#pragma once

#include <quillon/WideText.h>

#include <cstdarg>
#include <cstdint>
#include <string>

void debugLogOpen();
void debugLogClose();
// Empty when the temporary folder cannot be read.
std::string debugLogPath();
void debugLogWrite(const char* format, ...) QUILLON_PRINTF(1, 2);
// The log callback handed to DFU_SetLogCallback; returns 0.
int debugLogSink(const char* format, va_list args);

// Test seam: replaces the performance-counter read (null restores it), and the counter
// value the stopwatch started at.
void debugLogSetCounterForTest(std::int64_t (*counter)());
std::int64_t debugLogStartForTest();
