#pragma once

// A tool's command line, declared once: each option with the kind of value
// it takes and its help, from which both the usage text and the parsing
// come. Options start with "--"; other words are operands.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics.h"

namespace lumo {
namespace tools {

// What is wrong with a value; an empty text means nothing is.
struct Problem {
  Problem(std::wstring text = std::wstring(), bool tryHelp = true)
      : text(std::move(text)), tryHelp(tryHelp) {}
  std::wstring text;
  // Whether the message points to --help.
  bool tryHelp;
};

// Takes a value (or, for a flag, nothing) into the tool's settings.
using TakeValue = std::function<Problem(const std::wstring &name, const std::wstring &value)>;

// Value kinds that several tools share. The name is the option's, for the
// problem text.
TakeValue flagValue(bool *into);
// Refuses an empty text; a repeated option keeps the last.
TakeValue textValue(std::wstring *into);
// Refuses an empty text; each one given is kept, in order.
TakeValue textValues(std::vector<std::wstring> *into);
// Seconds above 0 and up to most, as whole milliseconds.
TakeValue secondsValue(std::uint32_t most, std::uint32_t *milliseconds);

class OptionTable {
public:
  enum : int { kGoOn = -1 };

  // The usage text is the head, the options' lines with their help in a
  // column that starts helpColumn characters in, and the tail.
  OptionTable(std::wstring head, std::size_t helpColumn, std::wstring tail = std::wstring());

  // An option with a value shown as placeholder; a flag has none. The
  // help's lines after the first are indented to the help column.
  OptionTable &option(const wchar_t *name, const wchar_t *placeholder, const wchar_t *help,
                      TakeValue take);
  // "--help" and "-h": the usage text on standard output.
  OptionTable &help();
  // Words that do not start with "--"; without this they are unknown
  // options.
  OptionTable &operands(TakeValue take);
  // An option given without its value is named as an unknown option.
  OptionTable &missingValueIsUnknown();

  std::wstring usage() const;

  // kGoOn when the tool is to run; otherwise its exit code, once the help
  // was shown (0) or the problem said (2).
  int read(int argc, wchar_t **argv, const Diagnostics &diagnostics) const;

  struct Outcome {
    bool help = false;
    Problem problem;
  };
  // The same without saying anything: stops at the first problem or at
  // the request for help.
  Outcome parse(int argc, wchar_t **argv) const;

private:
  struct Entry {
    std::wstring name;
    std::wstring placeholder;
    std::wstring help;
    TakeValue take;
  };

  const Entry *find(const std::wstring &name) const;
  Problem takeOption(const Entry &entry, int argc, wchar_t **argv, int *at) const;

  std::wstring head_;
  std::size_t helpColumn_;
  std::wstring tail_;
  std::vector<Entry> entries_;
  bool help_ = false;
  TakeValue operands_;
  bool missingValueIsUnknown_ = false;
};

}  // namespace tools
}  // namespace lumo
