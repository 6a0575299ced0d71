// Failure switches of the simulated machine's temporary folder and file reads, writes and
// flushes, so that tests can reach the error paths of code that keeps files; reset_machine turns
// them all off.
#pragma once

namespace platform::sim {

// GetTempPathA/W answer 0 (ERROR_PATH_NOT_FOUND).
void set_temp_path_fails(bool fails);
// GetTempFileNameW answers 0 (ERROR_ACCESS_DENIED) and creates nothing.
void set_temp_file_name_fails(bool fails);
// WriteFile on a disk file fails (ERROR_DISK_FULL) and writes nothing; devices are unaffected.
void set_file_writes_fail(bool fails);
// FlushFileBuffers on a disk file fails (ERROR_IO_DEVICE): data that the cache took cannot reach
// the disk.
void set_file_flushes_fail(bool fails);
// ReadFile on a disk file fails (ERROR_READ_FAULT) and reads nothing.
void set_file_reads_fail(bool fails);

// The disk as a restart after a power cut now would find it: data written and not flushed
// (FlushFileBuffers) is gone, leaving its file empty, and moves made without
// MOVEFILE_WRITE_THROUGH since the last one made with it are undone (the file that a move
// replaced comes back). Open handles are not touched.
void cut_power();

}  // namespace platform::sim
