// Failure switches read by the file functions (set through sim/FileFaults.h).
#pragma once

namespace platform::detail {

bool temp_path_fails();
bool temp_file_name_fails();
bool file_writes_fail();
bool file_flushes_fail();
bool file_reads_fail();

}  // namespace platform::detail
