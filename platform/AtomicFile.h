// Crash-safe file replacement: readers see either the old or the new contents,
// never a half-written file, even if the machine dies mid-write.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where WriteFileAtomic gave up, so callers can word their message
// ("cannot create" vs. "error writing").
enum class AtomicStage { None, Create, Write };

// Writes data to a temporary file in the same folder as path, fsyncs it, then
// rename()s it over path. On any failure the previous file at path is untouched,
// the temporary is removed, false is returned and *error (when given) gets a short
// cause text from strerror (e.g. "Permission denied", "No space left on device").
// *stage (when given) is Create when the temporary could not be created (or the
// existing target is write-protected), Write when writing, fsync or rename failed,
// and None on success.
//
// The new file keeps the mode of an existing target, else gets 0666 & ~umask.
// A symbolic link at path is followed, so the link itself stays in place.
bool WriteFileAtomic(const std::string& path, const void* data, std::size_t size,
                     std::string* error = nullptr, AtomicStage* stage = nullptr);

// Test hook, like a failing device: while set, each WriteFileAtomic fails after
// writing `bytes` bytes with errno `err` (e.g. ENOSPC). Pass bytes < 0 to clear.
void SetWriteFaultForTests(long bytes, int err);

}  // namespace platform
