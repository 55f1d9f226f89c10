#pragma once

// Contents the crash test writes: each names its own number and has a length
// and filling derived from it, so any torn or mixed file is recognised.

#include <cstdint>
#include <cstdlib>
#include <string>

namespace lumo {
namespace storage {
namespace test {

inline std::string crashContent(std::uint32_t number) {
  std::string bytes = "content " + std::to_string(number) + "\n";
  const std::size_t size = 4096 + (number * 7919u) % 200000u;
  while (bytes.size() < size) {
    bytes += static_cast<char>('a' + (number + bytes.size()) % 26);
  }
  return bytes;
}

inline bool isCompleteCrashContent(const std::string &bytes) {
  const std::string prefix = "content ";
  if (bytes.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  const unsigned long number = std::strtoul(bytes.c_str() + prefix.size(), nullptr, 10);
  return bytes == crashContent(static_cast<std::uint32_t>(number));
}

}  // namespace test
}  // namespace storage
}  // namespace lumo
