#include "server/program_string_resource.h"

#include <windows.h>

#include "util/text_conversion.h"

namespace lumo {
namespace server {

std::string programStringResource(unsigned id) {
  const wchar_t *text = nullptr;
  // With no buffer size the call hands out the resource in place; it is not
  // terminated.
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) {
    return std::string();
  }
  return toUtf8(std::wstring(text, static_cast<std::size_t>(length)).c_str());
}

}  // namespace server
}  // namespace lumo
