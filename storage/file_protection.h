#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "util/unique_handle.h"

namespace lumo {
namespace storage {

enum class FileProtection : std::int32_t {
  // No descriptor: the file gets what its folder passes on.
  Inherited = 0,
  AdminsAndSystem = 1,
  // Also chosen by every other non-zero value.
  AdminOwned = 2,
};

// The descriptor, in SDDL, that files created under the protection get;
// null for Inherited.
const wchar_t *protectionSddl(FileProtection protection);

// Security attributes for CreateFileW and CreateMutexExW. Keep the object
// alive until the file or mutex has been created; its destruction frees the
// descriptor.
class ProtectionAttributes {
public:
  ProtectionAttributes() = default;
  ProtectionAttributes(ProtectionAttributes &&) = default;
  ProtectionAttributes &operator=(ProtectionAttributes &&) = default;

  // Null for Inherited or when the descriptor could not be built or read.
  SECURITY_ATTRIBUTES *get() { return descriptor ? &attributes : nullptr; }
  // The same access list without the owner, for when the platform will not
  // let the caller give a new file that owner: it then gets the caller's.
  // Null where get() is null. Valid while this object stays where it is.
  SECURITY_ATTRIBUTES *withoutOwner();
  // Why the descriptor could not be built or read; empty otherwise.
  const std::string &error() const { return errorText; }

private:
  friend ProtectionAttributes sddlAttributes(const wchar_t *sddl);
  friend ProtectionAttributes replacedFileAttributes(const std::wstring &path);

  void hold(PSECURITY_DESCRIPTOR held);

  UniqueLocalMemory descriptor;
  SECURITY_ATTRIBUTES attributes = {};
  SECURITY_DESCRIPTOR daclOnly = {};
  SECURITY_ATTRIBUTES daclOnlyAttributes = {};
  std::string errorText;
};

// The descriptor an SDDL string gives, for creating any object.
ProtectionAttributes sddlAttributes(const wchar_t *sddl);

ProtectionAttributes protectionAttributes(FileProtection protection);

// The owner and access list of the existing file at path, for a file that
// is to take its place.
ProtectionAttributes replacedFileAttributes(const std::wstring &path);

}  // namespace storage
}  // namespace lumo
