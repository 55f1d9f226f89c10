#include "storage/file_protection.h"

#include <sddl.h>

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
  result.descriptor.reset(descriptor);
  result.attributes.nLength = sizeof result.attributes;
  result.attributes.lpSecurityDescriptor = descriptor;
  result.attributes.bInheritHandle = FALSE;
  return result;
}

}  // namespace storage
}  // namespace lumo
