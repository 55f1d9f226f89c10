#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// Failure texts for code that reports failures as values instead of throwing.

// "OPERATION failed with Windows error CODE", the code in unsigned decimal.
std::string windowsErrorText(const std::string &operation, std::uint32_t code);

// "OPERATION failed with HRESULT 0xHEX", lower-case hex without leading zeros.
std::string hresultErrorText(const std::string &operation, long hr);

}  // namespace lumo
