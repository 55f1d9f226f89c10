#pragma once

// Text for people, exactly as it is: what a person typed comes back
// unchanged, whatever the characters. A console gets UTF-16 through
// WriteConsoleW; a file or a pipe gets UTF-8, with CR LF line ends.

#include <windows.h>

#include <string>

#include "util/format_checking.h"

namespace lumo {
namespace tools {

// Writes all of text to the stream; false if the stream refused it.
bool writeText(HANDLE stream, const std::wstring &text);

// The bytes a file or a pipe gets for text.
std::string fileBytes(const std::wstring &text);

// The library's formatting, for text on its way to writeText: text
// arguments are UTF-8 (%s), as the library's texts are.
LUMO_CHECKED_FORMAT(1, 2) std::wstring formatText(const char *format, ...);

// A person's text as an argument for formatText.
std::string utf8(const std::wstring &text);

}  // namespace tools
}  // namespace lumo
