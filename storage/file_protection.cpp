#include "storage/file_protection.h"

#include <sddl.h>

#include "storage/full_path.h"
#include "storage/storage_api.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {

const wchar_t *protectionSddl(FileProtection protection) {
  switch (protection) {
  case FileProtection::Inherited:
    return nullptr;
  case FileProtection::AdminsAndSystem:
    return L"D:P(A;;FRFWSDWD;;;BA)(A;;FRFWSDWD;;;SY)";
  default:
    return L"O:BAG:SYD:P(A;;FA;;;BA)(A;;0x001301BF;;;SY)";
  }
}

void ProtectionAttributes::hold(PSECURITY_DESCRIPTOR held) {
  descriptor.reset(held);
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = held;
  attributes.bInheritHandle = FALSE;
}

ProtectionAttributes protectionAttributes(FileProtection protection) {
  ProtectionAttributes result;
  const wchar_t *sddl = protectionSddl(protection);
  if (!sddl) {
    return result;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!storageApi.convertSecurityDescriptor(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    result.errorText =
        windowsErrorText("ConvertStringSecurityDescriptorToSecurityDescriptorW", GetLastError());
    return result;
  }
  result.hold(descriptor);
  return result;
}

ProtectionAttributes replacedFileAttributes(const std::wstring &path) {
  ProtectionAttributes result;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = storageApi.getNamedSecurityInfo(
      platformPath(path).c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
      &descriptor);
  if (error != ERROR_SUCCESS) {
    result.errorText = windowsErrorText("GetNamedSecurityInfoW", error);
    return result;
  }
  result.hold(descriptor);
  return result;
}

}  // namespace storage
}  // namespace lumo
