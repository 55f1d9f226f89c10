#include "storage/file_operations.h"

#include <windows.h>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "storage/whole_file_io.h"
#include "util/error_text.h"
#include "util/unique_handle.h"

namespace lumo {
namespace storage {
namespace {

bool isMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

FileReadResult WindowsFileOperations::readFile(const std::wstring &path) const {
  FileReadResult result;
  const HANDLE opened =
      storageSeam.createFile(platformPath(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD openError = GetLastError();
  const UniqueFileHandle file(opened);
  if (!file) {
    if (isMissing(openError)) {
      result.state = FileState::Absent;
    } else {
      result.error = windowsErrorText("CreateFileW for reading", openError);
    }
    return result;
  }

  LARGE_INTEGER size;
  if (!storageSeam.getFileSizeEx(file.get(), &size)) {
    result.error = windowsErrorText("GetFileSizeEx", GetLastError());
    return result;
  }
  const std::uint64_t total = static_cast<std::uint64_t>(size.QuadPart);
  result.bytes.resize(static_cast<std::size_t>(total));

  std::uint64_t offset = 0;
  while (offset < total) {
    DWORD transferred = 0;
    if (!storageSeam.readFile(file.get(), &result.bytes[static_cast<std::size_t>(offset)],
                              chunkSize(total - offset), &transferred, nullptr)) {
      result.error = windowsErrorText("ReadFile", GetLastError());
      result.bytes = std::string();
      return result;
    }
    if (transferred == 0) {
      // The file shrank after its size was taken.
      result.error = "ReadFile returned no data before end of file";
      result.bytes = std::string();
      return result;
    }
    offset += transferred;
  }
  result.state = FileState::Present;
  return result;
}

FileWriteResult WindowsFileOperations::writeFile(const std::wstring &path,
                                                 const std::string &bytes) const {
  FileWriteResult result;
  const HANDLE opened =
      storageSeam.createFile(platformPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD openError = GetLastError();
  const UniqueFileHandle file(opened);
  if (!file) {
    result.error = windowsErrorText("CreateFileW for writing", openError);
    return result;
  }

  DWORD error = ERROR_SUCCESS;
  if (const char *failed = writeAndFlush(file.get(), bytes, &error)) {
    result.error = windowsErrorText(failed, error);
    return result;
  }
  result.written = true;
  return result;
}

FilePresenceResult WindowsFileOperations::checkPresence(const std::wstring &path) const {
  FilePresenceResult result;
  const DWORD attributes = storageSeam.getFileAttributes(platformPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (isMissing(error)) {
      result.state = FileState::Absent;
    } else {
      result.error = windowsErrorText("GetFileAttributesW", error);
    }
    return result;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    result.error = "The credential path names a directory";
    return result;
  }
  result.state = FileState::Present;
  return result;
}

}  // namespace storage
}  // namespace lumo
