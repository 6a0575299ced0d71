// Failure switches of the simulated machine's temporary folder and file writes, so that tests
// can reach the error paths of code that writes files. reset_machine turns them all off.
#pragma once

namespace platform::sim {

// GetTempPathA/W answer 0 (ERROR_PATH_NOT_FOUND).
void set_temp_path_fails(bool fails);
// GetTempFileNameW answers 0 (ERROR_ACCESS_DENIED) and creates nothing.
void set_temp_file_name_fails(bool fails);
// WriteFile on a disk file fails (ERROR_DISK_FULL) and writes nothing; devices are unaffected.
void set_file_writes_fail(bool fails);

}  // namespace platform::sim
