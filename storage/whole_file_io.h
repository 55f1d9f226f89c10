#pragma once

// Moving a whole buffer through ReadFile and WriteFile, which take at most
// 32 bits of length per call.

#include <windows.h>

#include <cstdint>
#include <string>

namespace lumo {
namespace storage {

// What one ReadFile or WriteFile call is asked to move of what remains.
DWORD chunkSize(std::uint64_t remaining);

// Writes all of bytes to an open file, then flushes it to the disk. Returns
// the name of the call that failed, with its error in *error, or null when
// the bytes are on the disk.
const char *writeAndFlush(HANDLE file, const std::string &bytes, DWORD *error);

}  // namespace storage
}  // namespace lumo
