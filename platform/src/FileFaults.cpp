#include "FileFaults.h"

#include "KernelObject.h"

#include <sim/FileFaults.h>

#include <atomic>

namespace platform::detail {

namespace {

std::atomic<bool> g_temp_path_fails{false};
std::atomic<bool> g_temp_file_name_fails{false};
std::atomic<bool> g_file_writes_fail{false};
std::atomic<bool> g_file_flushes_fail{false};
std::atomic<bool> g_file_reads_fail{false};

void reset_file_faults()
{
    g_temp_path_fails = false;
    g_temp_file_name_fails = false;
    g_file_writes_fail = false;
    g_file_flushes_fail = false;
    g_file_reads_fail = false;
}

const bool g_hooked = (add_reset_hook(&reset_file_faults), true);

}  // namespace

bool temp_path_fails() { return g_temp_path_fails.load(); }
bool temp_file_name_fails() { return g_temp_file_name_fails.load(); }
bool file_writes_fail() { return g_file_writes_fail.load(); }
bool file_flushes_fail() { return g_file_flushes_fail.load(); }
bool file_reads_fail() { return g_file_reads_fail.load(); }

}  // namespace platform::detail

namespace platform::sim {

void set_temp_path_fails(bool fails) { detail::g_temp_path_fails = fails; }
void set_temp_file_name_fails(bool fails) { detail::g_temp_file_name_fails = fails; }
void set_file_writes_fail(bool fails) { detail::g_file_writes_fail = fails; }
void set_file_flushes_fail(bool fails) { detail::g_file_flushes_fail = fails; }
void set_file_reads_fail(bool fails) { detail::g_file_reads_fail = fails; }

}  // namespace platform::sim
