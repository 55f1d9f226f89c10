// Text: the library's format and UTF conversions against the C runtime's
// formatter writing into a buffer and direct MultiByteToWideChar / WideCharToMultiByte calls.

#include <windows.h>

#include <cstdio>
#include <string>

#include "measure.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

// The C runtime formatter that the library's format wraps (msvcrt's, with
// the C99 return value).
extern "C" int __cdecl __ms_snprintf(char *buffer, size_t size, const char *fmt, ...);

namespace {

volatile size_t sink;  // keeps results alive so the calls are not optimised away

std::wstring directToUtf16(const std::string &text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
  return result;
}

std::string directToUtf8(const std::wstring &text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length,
                      nullptr, nullptr);
  return result;
}

// Mixed text: ASCII, Latin, Cyrillic, CJK and an emoji.
std::string sampleText(size_t repeats) {
  std::string text;
  for (size_t i = 0; i < repeats; ++i) {
    text +=
        "Tarnwick \xC3\xA9t\xC3\xA9 \xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
        "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 ";
  }
  return text;
}

}  // namespace

int main() {
  using lumo::bench::compare;
  using lumo::bench::printRow;
  const int repetitions = 9;

  lumo::bench::printHeader("text, ns per call", "lumo", "direct");
  {
    const auto t =
        compare({[] { sink = lumo::format("%s %d %08x", "session", 42, 0xBEEFu).size(); },
                 [] {
                   char buffer[256];
                   sink = static_cast<size_t>(
                       __ms_snprintf(buffer, sizeof buffer, "%s %d %08x", "session", 42, 0xBEEFu));
                 }},
                20000, repetitions);
    printRow("format, 19 characters", t[0], t[1]);
  }
  {
    static const std::string big(5000, 'x');
    const auto t = compare(
        {[] { sink = lumo::format("<%s>", big.c_str()).size(); },
         [] {
           static char buffer[8192];
           sink = static_cast<size_t>(__ms_snprintf(buffer, sizeof buffer, "<%s>", big.c_str()));
         }},
        2000, repetitions);
    printRow("format, 5002 characters", t[0], t[1]);
  }
  for (const size_t repeats : {1u, 4000u}) {
    static std::string narrow;
    static std::wstring wide;
    narrow = sampleText(repeats);
    wide = directToUtf16(narrow);
    const int calls = repeats == 1 ? 20000 : 100;
    const auto to16 = compare(
        {[] { sink = lumo::toUtf16(narrow).size(); }, [] { sink = directToUtf16(narrow).size(); }},
        calls, repetitions);
    const auto to8 = compare({[] { sink = lumo::toUtf8(wide.c_str()).size(); },
                              [] { sink = directToUtf8(wide).size(); }},
                             calls, repetitions);
    char name[64];
    std::snprintf(name, sizeof name, "toUtf16, %zu bytes", narrow.size());
    printRow(name, to16[0], to16[1]);
    std::snprintf(name, sizeof name, "toUtf8, %zu units", wide.size());
    printRow(name, to8[0], to8[1]);
  }
  std::printf("ratio: lumo / direct; median of %d runs\n", repetitions);
  return 0;
}
