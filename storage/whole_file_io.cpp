#include "storage/whole_file_io.h"

#include <algorithm>
#include <new>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

FileReadResult readFailure(std::string error) {
  FileReadResult result;
  result.error = std::move(error);
  return result;
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

bool isMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
    const DWORD error = GetLastError();
    if (isMissing(error)) {
      opened.state = FileState::Absent;
    } else {
      opened.error = windowsErrorText("CreateFileW for reading", error);
    }
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

FileReadResult readWhole(const FileToRead &opened) {
  FileReadResult result;
  if (!sizeBuffer(result, opened.size)) {
    return result;
  }
  for (std::uint64_t offset = 0; offset < opened.size;) {
    DWORD transferred = 0;
    if (!storageSeam.readFile(opened.file.get(), &result.bytes[static_cast<std::size_t>(offset)],
                              chunkSize(opened.size - offset), &transferred, nullptr)) {
      return readFailure(windowsErrorText("ReadFile", GetLastError()));
    }
    if (transferred == 0) {
      // The file shrank after its size was taken.
      return readFailure("ReadFile returned no data before end of file");
    }
    offset += transferred;
  }
  result.state = FileState::Present;
  return result;
}

}  // namespace storage
}  // namespace lumo
