#include "util/text_format.h"

#include <cstddef>

// mingw-w64's C99 front end to msvcrt's formatter: it returns the length the
// whole output needs and a negative value when msvcrt rejects the format.
// MinGW's own C99 printf is not used: it silently drops wide text that the C
// locale cannot encode and crashes on huge field widths.
extern "C" int __cdecl __ms_vsnprintf(char *buffer, std::size_t size, const char *fmt,
                                      va_list args);

namespace lumo {

namespace {

// Most texts fit, so the common case formats once.
constexpr std::size_t firstPassLength = 1000;

int formatInto(std::string *text, const char *fmt, va_list args) {
  va_list pass;
  va_copy(pass, args);
  const int needed = __ms_vsnprintf(text->data(), text->size(), fmt, pass);
  va_end(pass);
  return needed;
}

}  // namespace

std::string format(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  return text;
}

std::string vformat(const char *fmt, va_list args) {
  std::string text(firstPassLength, '\0');
  int needed = formatInto(&text, fmt, args);
  while (needed >= 0 && static_cast<std::size_t>(needed) >= text.size()) {
    text.clear();
    text.resize(static_cast<std::size_t>(needed) + 1);
    needed = formatInto(&text, fmt, args);
  }
  if (needed < 0) {
    return "can't format string";
  }
  text.resize(static_cast<std::size_t>(needed));
  return text;
}

}  // namespace lumo
