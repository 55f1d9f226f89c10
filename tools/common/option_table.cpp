#include "option_table.h"

#include <algorithm>

#include "command_line.h"
#include "text_output.h"

namespace lumo {
namespace tools {

namespace {

const wchar_t kHelpName[] = L"--help";

bool isOption(const std::wstring &word) { return word.rfind(L"--", 0) == 0; }

Problem unknownOption(const std::wstring &word) { return L"unknown option " + quoted(word); }

}  // namespace

TakeValue flagValue(bool *into) {
  return [into](const std::wstring &, const std::wstring &) {
    *into = true;
    return Problem();
  };
}

TakeValue textValue(std::wstring *into) {
  return [into](const std::wstring &name, const std::wstring &value) {
    if (value.empty()) {
      return Problem(name + L" needs a value, not an empty one");
    }
    *into = value;
    return Problem();
  };
}

TakeValue textValues(std::vector<std::wstring> *into) {
  return [into](const std::wstring &name, const std::wstring &value) {
    if (value.empty()) {
      return Problem(name + L" needs a value, not an empty one");
    }
    into->push_back(value);
    return Problem();
  };
}

TakeValue secondsValue(std::uint32_t most, std::uint32_t *milliseconds) {
  return [most, milliseconds](const std::wstring &name, const std::wstring &value) {
    if (!parseSeconds(value, most, milliseconds)) {
      return Problem(name + L" needs a number of seconds above 0 and up to " +
                     std::to_wstring(most) + L", not " + quoted(value));
    }
    return Problem();
  };
}

OptionTable::OptionTable(std::wstring head, std::size_t helpColumn, std::wstring tail)
    : head_(std::move(head)), helpColumn_(helpColumn), tail_(std::move(tail)) {}

OptionTable &OptionTable::option(const wchar_t *name, const wchar_t *placeholder,
                                 const wchar_t *help, TakeValue take) {
  entries_.push_back({name, placeholder != nullptr ? placeholder : L"", help, std::move(take)});
  return *this;
}

OptionTable &OptionTable::help() {
  help_ = true;
  entries_.push_back({kHelpName, L"", L"show this text", nullptr});
  return *this;
}

OptionTable &OptionTable::operands(TakeValue take) {
  operands_ = std::move(take);
  return *this;
}

OptionTable &OptionTable::missingValueIsUnknown() {
  missingValueIsUnknown_ = true;
  return *this;
}

std::wstring OptionTable::usage() const {
  const std::wstring indent(helpColumn_, L' ');
  std::wstring text = head_;
  for (const Entry &entry : entries_) {
    std::wstring line = L"  " + entry.name;
    if (!entry.placeholder.empty()) {
      line += L" " + entry.placeholder;
    }
    line.resize(std::max(helpColumn_, line.size() + 1), L' ');
    for (const wchar_t unit : entry.help) {
      line += unit == L'\n' ? L"\n" + indent : std::wstring(1, unit);
    }
    text += line + L"\n";
  }
  return text + tail_;
}

const OptionTable::Entry *OptionTable::find(const std::wstring &name) const {
  for (const Entry &entry : entries_) {
    if (entry.name == name && entry.take) {
      return &entry;
    }
  }
  return nullptr;
}

Problem OptionTable::takeOption(const Entry &entry, int argc, wchar_t **argv, int *at) const {
  if (entry.placeholder.empty()) {
    return entry.take(entry.name, std::wstring());
  }
  if (*at + 1 == argc) {
    return missingValueIsUnknown_ ? unknownOption(entry.name)
                                  : Problem(entry.name + L" needs a value");
  }
  return entry.take(entry.name, argv[++*at]);
}

OptionTable::Outcome OptionTable::parse(int argc, wchar_t **argv) const {
  Outcome outcome;
  for (int i = 1; i < argc && outcome.problem.text.empty(); ++i) {
    const std::wstring word = argv[i];
    if (help_ && (word == kHelpName || word == L"-h")) {
      outcome.help = true;
      break;
    }
    const Entry *entry = isOption(word) ? find(word) : nullptr;
    if (entry != nullptr) {
      outcome.problem = takeOption(*entry, argc, argv, &i);
    } else if (!isOption(word) && operands_) {
      outcome.problem = operands_(std::wstring(), word);
    } else {
      outcome.problem = unknownOption(word);
    }
  }
  return outcome;
}

int OptionTable::read(int argc, wchar_t **argv, const Diagnostics &diagnostics) const {
  const Outcome outcome = parse(argc, argv);
  if (outcome.help) {
    writeText(GetStdHandle(STD_OUTPUT_HANDLE), usage());
    return 0;
  }
  if (outcome.problem.text.empty()) {
    return kGoOn;
  }
  if (outcome.problem.tryHelp) {
    return diagnostics.usageError(outcome.problem.text);
  }
  diagnostics.error(outcome.problem.text);
  return 2;
}

}  // namespace tools
}  // namespace lumo
