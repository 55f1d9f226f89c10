#pragma once

#include <cstdarg>
#include <string>

namespace lumo {

// printf-style formatting into a UTF-8 string, with the conversions of the
// system C runtime (msvcrt). A format the runtime rejects gives the text
// "can't format string" instead of an exception.
[[gnu::format(ms_printf, 1, 2)]] std::string format(const char *fmt, ...);
[[gnu::format(ms_printf, 1, 0)]] std::string vformat(const char *fmt, va_list args);

// The same formatting for callers that must tell a rejected format from a
// text: false, with text untouched, when the C runtime rejects the format.
[[gnu::format(ms_printf, 1, 0)]] bool tryVformat(const char *fmt, va_list args, std::string *text);

}  // namespace lumo
