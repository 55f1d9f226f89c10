#pragma once

// Text for people, exactly as it is: what a person typed comes back
// unchanged, whatever the characters. A console gets UTF-16 through
// WriteConsoleW; a file or a pipe gets UTF-8, with CR LF line ends.

#include <windows.h>

#include <cstdarg>
#include <string>

namespace lumo {
namespace tools {

// Writes all of text to the stream; false if the stream refused it.
bool writeText(HANDLE stream, const std::wstring &text);

// "TOOL: TEXT" as a line on standard error, where the tools say what went
// wrong.
void complain(const wchar_t *tool, const std::wstring &text);

// The bytes a file or a pipe gets for text.
std::string fileBytes(const std::wstring &text);

// swprintf-style formatting into a string of any length.
std::wstring wideFormat(const wchar_t *format, ...);
std::wstring wideVformat(const wchar_t *format, va_list args);

}  // namespace tools
}  // namespace lumo
