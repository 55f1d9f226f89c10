#include "util/text_format.h"

#include <cstddef>
#include <utility>

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

int formatInto(char *buffer, std::size_t size, const char *fmt, va_list args) {
  va_list pass;
  va_copy(pass, args);
  const int needed = __ms_vsnprintf(buffer, size, fmt, pass);
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
  std::string text;
  if (!tryVformat(fmt, args, &text)) {
    return "can't format string";
  }
  return text;
}

bool tryVformat(const char *fmt, va_list args, std::string *text) {
  // The first pass works on the stack, so that a short result is allocated
  // at its own size rather than keeping a 1000-byte buffer for its life.
  char first[firstPassLength];
  int needed = formatInto(first, sizeof first, fmt, args);
  if (needed >= 0 && static_cast<std::size_t>(needed) < sizeof first) {
    text->assign(first, static_cast<std::size_t>(needed));
    return true;
  }
  std::string result;
  while (needed >= 0 && static_cast<std::size_t>(needed) >= result.size()) {
    result.clear();
    result.resize(static_cast<std::size_t>(needed) + 1);
    needed = formatInto(result.data(), result.size(), fmt, args);
  }
  if (needed < 0) {
    return false;
  }
  result.resize(static_cast<std::size_t>(needed));
  *text = std::move(result);
  return true;
}

}  // namespace lumo
