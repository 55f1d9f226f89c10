#include "storage/file_protection.h"

#include <sddl.h>

#include "storage/full_path.h"
#include "storage/platform_seam.h"
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

SECURITY_ATTRIBUTES *ProtectionAttributes::withoutOwner() {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!descriptor || !InitializeSecurityDescriptor(&daclOnly, SECURITY_DESCRIPTOR_REVISION) ||
      !GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) ||
      !SetSecurityDescriptorDacl(&daclOnly, present, dacl, defaulted) ||
      !GetSecurityDescriptorControl(descriptor.get(), &control, &revision) ||
      !SetSecurityDescriptorControl(&daclOnly, SE_DACL_PROTECTED, control & SE_DACL_PROTECTED)) {
    return nullptr;
  }
  daclOnlyAttributes.nLength = sizeof daclOnlyAttributes;
  daclOnlyAttributes.lpSecurityDescriptor = &daclOnly;
  daclOnlyAttributes.bInheritHandle = FALSE;
  return &daclOnlyAttributes;
}

ProtectionAttributes sddlAttributes(const wchar_t *sddl) {
  ProtectionAttributes result;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!storageSeam.convertSecurityDescriptor(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    result.errorText =
        windowsErrorText("ConvertStringSecurityDescriptorToSecurityDescriptorW", GetLastError());
    return result;
  }
  result.hold(descriptor);
  return result;
}

ProtectionAttributes protectionAttributes(FileProtection protection) {
  const wchar_t *sddl = protectionSddl(protection);
  return sddl ? sddlAttributes(sddl) : ProtectionAttributes();
}

ProtectionAttributes replacedFileAttributes(const std::wstring &path) {
  ProtectionAttributes result;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      storageSeam.getNamedSecurityInfo(platformPath(path).c_str(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    result.errorText = windowsErrorText("GetNamedSecurityInfoW", error);
    return result;
  }
  result.hold(descriptor);
  return result;
}

}  // namespace storage
}  // namespace lumo
