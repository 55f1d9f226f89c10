#include "storage/temporary_file.h"

#include <atomic>
#include <cstdint>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "storage/whole_file_io.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

constexpr int maximumNameAttempts = 128;
// The longest name of one folder entry, in UTF-16 units.
constexpr std::size_t maximumNameLength = 255;

// Shared by all writers of the process; the first name uses 1.
std::atomic<std::int32_t> nameCounter{0};

// The target with the suffix appended, or, where the name would outgrow a
// folder entry, with as much of the target's name as leaves room for it.
std::wstring besideTarget(const std::wstring &target, const std::wstring &suffix) {
  // No separator gives npos, and npos + 1 is 0.
  const std::size_t nameStart = target.find_last_of(L"\\/") + 1;
  if (target.size() - nameStart + suffix.size() <= maximumNameLength) {
    return target + suffix;
  }
  std::size_t kept = maximumNameLength - suffix.size();
  // Never half a surrogate pair.
  if (target[nameStart + kept - 1] >= 0xD800 && target[nameStart + kept - 1] <= 0xDBFF) {
    --kept;
  }
  return target.substr(0, nameStart + kept) + suffix;
}

}  // namespace

TemporaryFile::~TemporaryFile() {
  close();
  if (!name.empty()) {
    storageSeam.deleteFile(name.c_str());
  }
}

std::string TemporaryFile::failure(const char *call, DWORD error) const {
  return windowsErrorText(std::string(call) + " for " + role, error);
}

bool TemporaryFile::close() {
  if (!handle) {
    return true;
  }
  // The one close outside an owner's destructor: it is the last step that
  // can still report a lost write. Released first, so that a failed close
  // is never retried on a handle value the system may have reused.
  return storageSeam.closeHandle(handle.release()) != FALSE;
}

std::string TemporaryFile::create(const std::wstring &target, SECURITY_ATTRIBUTES *security,
                                  SECURITY_ATTRIBUTES *withoutOwner) {
  const std::wstring stem = L".tmp." + std::to_wstring(GetCurrentProcessId()) + L"." +
                            std::to_wstring(GetTickCount()) + L".";
  for (int attempt = 0; attempt < maximumNameAttempts; ++attempt) {
    std::wstring candidate =
        platformPath(besideTarget(target, stem + std::to_wstring(++nameCounter)));
    const HANDLE created = storageSeam.createFile(candidate.c_str(), GENERIC_WRITE, 0, security,
                                                  CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      // The name is kept only for a file this owner made, so the destructor
      // never deletes one that another writer holds.
      handle.reset(created);
      name.swap(candidate);
      return std::string();
    }
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_OWNER && withoutOwner != nullptr) {
      security = withoutOwner;
      withoutOwner = nullptr;
      continue;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return failure("CreateFileW", error);
    }
  }
  return std::string("Unable to allocate a unique ") + role + " name";
}

std::string TemporaryFile::write(const std::string &bytes) {
  DWORD error = ERROR_SUCCESS;
  if (const char *failed = writeAndFlush(handle.get(), bytes, &error)) {
    return failure(failed, error);
  }
  if (!close()) {
    return failure("CloseHandle", GetLastError());
  }
  return std::string();
}

}  // namespace storage
}  // namespace lumo
