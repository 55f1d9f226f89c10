#include "win/log.h"

#include <cstdarg>
#include <cstddef>

// The system C runtime's formatter, as the rest of the library formats with
// it; it returns the needed length, or a negative value for a bad format.
extern "C" int __cdecl __ms_vsnprintf(char *buffer, std::size_t size, const char *fmt,
                                      va_list args);

namespace lumo {

void Log::error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  write(errorLevel, format, args);
  va_end(args);
}

void Log::info(const char *format, ...) {
  va_list args;
  va_start(args, format);
  write(infoLevel, format, args);
  va_end(args);
}

void Log::debug(const char *format, ...) {
  va_list args;
  va_start(args, format);
  write(debugLevel, format, args);
  va_end(args);
}

void Log::write(int level, const char *format, va_list args) {
  if (sink == nullptr || !sink->acceptsLevel(level)) {
    return;
  }
  va_list measure;
  va_copy(measure, args);
  const int needed = __ms_vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) {
    return;
  }
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  const int written = __ms_vsnprintf(&text[0], text.size(), format, args);
  if (written <= 0) {
    return;
  }
  text.resize(static_cast<std::size_t>(written < needed ? written : needed));
  sink->print(level, text);
}

}  // namespace lumo
