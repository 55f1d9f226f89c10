#pragma once

#include <cstdarg>
#include <string>

#include "util/format_checking.h"

namespace lumo {

// printf-style formatting into a UTF-8 string, with the conversions of the
// system C runtime (msvcrt). A format the runtime rejects gives the text
// "can't format string" instead of an exception.
LUMO_CHECKED_FORMAT(1, 2) std::string format(const char *fmt, ...);
LUMO_CHECKED_FORMAT(1, 0) std::string vformat(const char *fmt, va_list args);

// The same formatting for callers that must tell a rejected format from a
// text: false, with text untouched, when the C runtime rejects the format.
LUMO_CHECKED_FORMAT(1, 0) bool tryVformat(const char *fmt, va_list args, std::string *text);

}  // namespace lumo
