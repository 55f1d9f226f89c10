#include "storage/whole_file_io.h"

#include <algorithm>

#include "storage/platform_seam.h"

namespace lumo {
namespace storage {

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

}  // namespace storage
}  // namespace lumo
