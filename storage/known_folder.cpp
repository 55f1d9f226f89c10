#include "storage/known_folder.h"

#include <windows.h>
#include <shlobj.h>

#include "util/error_text.h"
#include "util/unique_any.h"

namespace lumo {
namespace storage {
namespace {

// Spelled out here so the lookup does not depend on which identifiers the
// import libraries happen to define.
const GUID programDataId = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
const GUID localAppDataId = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
const GUID roamingAppDataId = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
const GUID nullId = {};

const GUID &folderId(KnownFolder kind) {
  switch (kind) {
    case KnownFolder::ProgramData:
      return programDataId;
    case KnownFolder::LocalAppData:
      return localAppDataId;
    case KnownFolder::RoamingAppData:
      return roamingAppDataId;
  }
  return nullId;
}

using UniqueTaskMemoryText = UniqueAny<wchar_t *, &CoTaskMemFree>;

}  // namespace

KnownFolderResult WindowsKnownFolderProvider::knownFolderPath(KnownFolder kind) const {
  KnownFolderResult result;
  // The buffer is the caller's to free even when the lookup fails.
  UniqueTaskMemoryText path;
  const HRESULT hr = SHGetKnownFolderPath(folderId(kind), 0, nullptr, path.put());
  if (FAILED(hr)) {
    result.error = hresultErrorText("SHGetKnownFolderPath", hr);
    return result;
  }
  result.found = true;
  result.path = path.get();
  return result;
}

}  // namespace storage
}  // namespace lumo
