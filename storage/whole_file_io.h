#pragma once

// Whole files through ReadFile and WriteFile, which take at most 32 bits of
// length per call.

#include <windows.h>

#include <cstdint>
#include <string>

#include "storage/file_operations.h"
#include "util/unique_handle.h"

namespace lumo {
namespace storage {

// Absent where the error says that the file, or the folder it would be in,
// does not exist; otherwise Failed, with the call's failure in *message.
FileState stateAfterFailure(const char *call, DWORD error, std::string *message);

// What one ReadFile or WriteFile call is asked to move of what remains.
DWORD chunkSize(std::uint64_t remaining);

// Writes all of bytes to an open file, then flushes it to the disk. Returns
// the name of the call that failed, with its error in *error, or null when
// the bytes are on the disk.
const char *writeAndFlush(HANDLE file, const std::string &bytes, DWORD *error);

// A file opened for reading and its size at that moment, so that a caller
// can judge the size before a byte is read.
struct FileToRead {
  // Present once open and sized; Failed with error otherwise, or Absent.
  FileState state = FileState::Failed;
  std::string error;
  UniqueFileHandle file;
  std::uint64_t size = 0;
};

FileToRead openToRead(const std::wstring &path);

// What reading a file against expected bytes found.
struct ContentCheck {
  bool same = false;
  // Why the file could not be read; empty when it was.
  std::string error;
};

// A file of another size differs without being read. One of the same size
// is read from the start in chunks, stopping at the first difference; no
// buffer of the file's size is made, since fresh memory costs more than
// the read itself, and the size may not fit.
ContentCheck compareWhole(const FileToRead &opened, const std::string &expected);

// Reads the size taken at opening, from the start. A size this process
// cannot hold, or a buffer it cannot get, is Failed with the size in the
// message; no bytes are kept from a failed read.
FileReadResult readWhole(const FileToRead &opened);

}  // namespace storage
}  // namespace lumo
