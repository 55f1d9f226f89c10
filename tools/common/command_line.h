#pragma once

// Values on the tools' command lines, judged by their value: "007" is
// seven, "0x10" sixteen, and nothing is accepted with blanks, signs or
// anything after the number.

#include <cstdint>
#include <string>

namespace lumo {
namespace tools {

// Decimal, or hexadecimal after "0x"; at most 32 bits of value, however
// many leading zeros.
bool parseUInt32(const std::wstring &text, std::uint32_t *value);

// A number of seconds above 0 and up to most, as whole milliseconds.
bool parseSeconds(const std::wstring &text, double most, std::uint32_t *milliseconds);

// The text in double quotes, for messages that repeat what was typed.
std::wstring quoted(const std::wstring &text);

}  // namespace tools
}  // namespace lumo
