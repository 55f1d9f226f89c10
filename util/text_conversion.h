#pragma once

#include <string>

namespace lumo {

// Narrow strings hold UTF-8, wide strings UTF-16. Invalid input is not an
// error: each bad sequence or unpaired surrogate becomes U+FFFD. Neither
// conversion throws; a conversion that cannot be finished returns a fixed
// failure text, which callers use like any other text.

// Stops at the first NUL; a null pointer gives an empty string.
std::string toUtf8(const wchar_t *text);

// Converts the whole string, embedded NULs included.
std::wstring toUtf16(const std::string &text);

// Lower-cases "A" to "Z" only, through the global (classic) locale; bytes of
// multi-byte sequences pass unchanged, so names compare without regard to
// ASCII case.
std::string toLower(const std::string &text);

}  // namespace lumo
