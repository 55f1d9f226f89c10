#include "win/module_file_path.h"

#include <vector>

#include <windows.h>

#include "util/text_conversion.h"
#include "win/platform_seam.h"

namespace lumo {
namespace win {

namespace {

constexpr DWORD firstSize = MAX_PATH;
constexpr DWORD growth = 128;

// A success does not clear the last error, so an older "insufficient buffer"
// must not be taken for the outcome of this call.
DWORD moduleFileName(std::vector<wchar_t> *buffer, DWORD size) {
  buffer->assign(static_cast<std::size_t>(size) + 1, L'\0');
  SetLastError(ERROR_SUCCESS);
  return winSeam.getModuleFileName(nullptr, buffer->data(), size);
}

}  // namespace

std::pair<bool, std::string> getModuleFilePath() {
  std::vector<wchar_t> buffer;
  DWORD size = firstSize;
  DWORD length = moduleFileName(&buffer, size);
  while (length != 0 && (length == size || GetLastError() == ERROR_INSUFFICIENT_BUFFER)) {
    size += growth;
    length = moduleFileName(&buffer, size);
  }
  if (length == 0) {
    return {false, std::string()};
  }
  return {true, toUtf8(buffer.data())};
}

std::wstring besideThisProgram(const std::wstring &name) {
  const std::pair<bool, std::string> self = getModuleFilePath();
  if (!self.first) {
    return name;
  }
  const std::wstring path = toUtf16(self.second);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

}  // namespace win
}  // namespace lumo
