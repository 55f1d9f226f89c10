#include "storage/whole_file_io.h"

#include <algorithm>
#include <new>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

// How much of a file one comparison step reads.
constexpr std::size_t comparedChunk = 64 * 1024;

// Fills buffer with the next count bytes of the file. Returns the failure
// text, empty on success.
std::string readExactly(HANDLE file, char *buffer, std::uint64_t count) {
  for (std::uint64_t offset = 0; offset < count;) {
    DWORD transferred = 0;
    if (!storageSeam.readFile(file, buffer + static_cast<std::size_t>(offset),
                              chunkSize(count - offset), &transferred, nullptr)) {
      return windowsErrorText("ReadFile", GetLastError());
    }
    if (transferred == 0) {
      // The file shrank after its size was taken.
      return "ReadFile returned no data before end of file";
    }
    offset += transferred;
  }
  return std::string();
}

// Sizes the buffer; false (with the reason in result) where the size does
// not fit this process.
bool sizeBuffer(FileReadResult &result, std::uint64_t size) {
  const std::string bytes = " (" + std::to_string(size) + " bytes)";
  // A 32-bit process cannot even index such a buffer.
  if (size > result.bytes.max_size()) {
    result.error = "The file is too large to be held in memory" + bytes;
    return false;
  }
  try {
    storageSeam.resizeBuffer(result.bytes, static_cast<std::size_t>(size));
  } catch (const std::bad_alloc &) {
    result.error = "Not enough memory to read the file" + bytes;
    return false;
  }
  return true;
}

}  // namespace

FileState stateAfterFailure(const char *call, DWORD error, std::string *message) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return FileState::Absent;
  }
  *message = windowsErrorText(call, error);
  return FileState::Failed;
}

DWORD chunkSize(std::uint64_t remaining) {
  return static_cast<DWORD>(std::min<std::uint64_t>(remaining, 0xFFFFFFFFu));
}

const char *writeAndFlush(HANDLE file, const std::string &bytes, DWORD *error) {
  std::uint64_t offset = 0;
  while (offset < bytes.size()) {
    DWORD transferred = 0;
    if (!storageSeam.writeFile(file, bytes.data() + offset, chunkSize(bytes.size() - offset),
                               &transferred, nullptr) ||
        transferred == 0) {
      *error = GetLastError();
      return "WriteFile";
    }
    offset += transferred;
  }
  if (!storageSeam.flushFileBuffers(file)) {
    *error = GetLastError();
    return "FlushFileBuffers";
  }
  return nullptr;
}

FileToRead openToRead(const std::wstring &path) {
  FileToRead opened;
  opened.file.reset(storageSeam.createFile(platformPath(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!opened.file) {
    opened.state = stateAfterFailure("CreateFileW for reading", GetLastError(), &opened.error);
    return opened;
  }
  LARGE_INTEGER size;
  if (!storageSeam.getFileSizeEx(opened.file.get(), &size)) {
    opened.error = windowsErrorText("GetFileSizeEx", GetLastError());
    return opened;
  }
  opened.size = static_cast<std::uint64_t>(size.QuadPart);
  opened.state = FileState::Present;
  return opened;
}

ContentCheck compareWhole(const FileToRead &opened, const std::string &expected) {
  ContentCheck check;
  if (opened.size != expected.size()) {
    return check;
  }
  std::string chunk(std::min(expected.size(), comparedChunk), '\0');
  for (std::size_t offset = 0; offset < expected.size(); offset += chunk.size()) {
    const std::size_t count = std::min(chunk.size(), expected.size() - offset);
    check.error = readExactly(opened.file.get(), &chunk[0], count);
    if (!check.error.empty() || expected.compare(offset, count, chunk, 0, count) != 0) {
      return check;
    }
  }
  check.same = true;
  return check;
}

FileReadResult readWhole(const FileToRead &opened) {
  FileReadResult result;
  if (!sizeBuffer(result, opened.size)) {
    return result;
  }
  result.error = readExactly(opened.file.get(), &result.bytes[0], opened.size);
  if (!result.error.empty()) {
    result.bytes = std::string();
    return result;
  }
  result.state = FileState::Present;
  return result;
}

}  // namespace storage
}  // namespace lumo
