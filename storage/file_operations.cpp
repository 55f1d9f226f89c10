#include "storage/file_operations.h"

#include <windows.h>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "storage/whole_file_io.h"
#include "util/error_text.h"
#include "util/unique_handle.h"

namespace lumo {
namespace storage {

FileReadResult WindowsFileOperations::readFile(const std::wstring &path) const {
  const FileToRead opened = openToRead(path);
  if (opened.state != FileState::Present) {
    FileReadResult result;
    result.state = opened.state;
    result.error = opened.error;
    return result;
  }
  return readWhole(opened);
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
    result.state = stateAfterFailure("GetFileAttributesW", GetLastError(), &result.error);
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
