#include "win/windows_version.h"

#include "win/platform_seam.h"

namespace lumo {

RTL_OSVERSIONINFOW windowsVersion() {
  RTL_OSVERSIONINFOW &record = *winSeam.versionRecord;
  if (record.dwOSVersionInfoSize != 0) {
    return record;
  }
  record = RTL_OSVERSIONINFOW{};
  record.dwOSVersionInfoSize = sizeof(RTL_OSVERSIONINFOW);
  using RtlGetVersion = LONG(WINAPI *)(PRTL_OSVERSIONINFOW);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto getVersion =
      ntdll == nullptr ? nullptr
                       : reinterpret_cast<RtlGetVersion>(
                             reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
  // RtlGetVersion returns an NTSTATUS: negative values are failures.
  if (getVersion == nullptr || getVersion(&record) < 0) {
    record = RTL_OSVERSIONINFOW{};
  }
  return record;
}

}  // namespace lumo
