#include "storage/temporary_file.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "storage/storage_api.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

constexpr int maximumNameAttempts = 128;

// Shared by all writers of the process; the first name uses 1.
std::atomic<std::int32_t> nameCounter{0};

}  // namespace

TemporaryFile::~TemporaryFile() {
  close();
  if (!name.empty()) {
    storageApi.deleteFile(name.c_str());
  }
}

std::string TemporaryFile::failure(const char *call, DWORD error) const {
  return windowsErrorText(std::string(call) + " for " + role, error);
}

bool TemporaryFile::close() {
  if (handle == INVALID_HANDLE_VALUE) {
    return true;
  }
  // Marked closed first: a failed CloseHandle must not be retried on a
  // handle value the system may already have reused.
  const HANDLE open = handle;
  handle = INVALID_HANDLE_VALUE;
  return storageApi.closeHandle(open) != FALSE;
}

std::string TemporaryFile::create(const std::wstring &target, FileProtection protection) {
  ProtectionAttributes attributes = protectionAttributes(protection);
  if (!attributes.error().empty()) {
    return attributes.error();
  }
  const std::wstring prefix = target + L".tmp." + std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(GetTickCount()) + L".";
  for (int attempt = 0; attempt < maximumNameAttempts; ++attempt) {
    std::wstring candidate = prefix + std::to_wstring(++nameCounter);
    const HANDLE created =
        storageApi.createFile(candidate.c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      handle = created;
      name.swap(candidate);
      return std::string();
    }
    const DWORD error = GetLastError();
    // Never let the destructor delete a file some other writer created.
    close();
    name.clear();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return failure("CreateFileW", error);
    }
  }
  return std::string("Unable to allocate a unique ") + role + " name";
}

std::string TemporaryFile::write(const std::string &bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const DWORD request =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - offset, 0xFFFFFFFFu));
    DWORD transferred = 0;
    if (!storageApi.writeFile(handle, bytes.data() + offset, request, &transferred, nullptr) ||
        transferred == 0) {
      return failure("WriteFile", GetLastError());
    }
    offset += transferred;
  }
  if (!storageApi.flushFileBuffers(handle)) {
    return failure("FlushFileBuffers", GetLastError());
  }
  if (!close()) {
    return failure("CloseHandle", GetLastError());
  }
  return std::string();
}

}  // namespace storage
}  // namespace lumo
