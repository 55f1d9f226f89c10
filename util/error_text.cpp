#include "util/error_text.h"

#include <sstream>

namespace lumo {

std::string windowsErrorText(const std::string &operation, std::uint32_t code) {
  std::ostringstream text;
  text << operation << " failed with Windows error " << code;
  return text.str();
}

std::string hresultErrorText(const std::string &operation, long hr) {
  std::ostringstream text;
  text << operation << " failed with HRESULT 0x" << std::hex << static_cast<std::uint32_t>(hr);
  return text.str();
}

}  // namespace lumo
