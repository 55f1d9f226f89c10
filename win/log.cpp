#include "win/log.h"

#include <cstdarg>

#include "util/text_format.h"

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
  std::string text;
  if (tryVformat(format, args, &text) && !text.empty()) {
    sink->print(level, text);
  }
}

}  // namespace lumo
