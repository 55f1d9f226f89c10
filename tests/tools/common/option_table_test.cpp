// The option table against made-up tools: the usage text it lays out, and
// how it reads command lines and says what is wrong with them.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tools/common/diagnostics.h"
#include "tools/common/option_table.h"
#include "util/unique_handle.h"

using lumo::UniqueHandle;
using lumo::tools::Diagnostics;
using lumo::tools::OptionTable;
using lumo::tools::Problem;

namespace {

// What a tool says on its standard error, caught in a pipe.
class Said {
public:
  Said() {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, nullptr, 1 << 16);
    reader_.reset(read);
    writer_.reset(write);
  }
  HANDLE stream() const { return writer_.get(); }
  std::string text() {
    writer_.reset();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(reader_.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      text.append(buffer, read);
    }
    return text;
  }

private:
  UniqueHandle reader_;
  UniqueHandle writer_;
};

struct Settings {
  bool verbose = false;
  std::wstring name;
  std::vector<std::wstring> tags;
  std::uint32_t waitMs = 0;
  std::vector<std::wstring> words;
};

OptionTable tableFor(Settings *s) {
  OptionTable table(L"usage: tool [options] WORD...\n\n", 20, L"\nafter the options\n");
  table.option(L"--verbose", nullptr, L"say more", lumo::tools::flagValue(&s->verbose))
      .option(L"--name", L"NAME", L"what to call it;\nnever empty",
              lumo::tools::textValue(&s->name))
      .option(L"--tag", L"TAG", L"may be given more than once", lumo::tools::textValues(&s->tags))
      .option(L"--wait", L"SECONDS", L"how long", lumo::tools::secondsValue(60, &s->waitMs))
      .help()
      .operands([s](const std::wstring &, const std::wstring &word) {
        if (word == L"bad") {
          return Problem(L"no bad words", false);
        }
        s->words.push_back(word);
        return Problem();
      });
  return table;
}

OptionTable::Outcome parse(OptionTable &table, std::vector<const wchar_t *> words) {
  std::vector<std::wstring> owned = {L"tool.exe"};
  owned.insert(owned.end(), words.begin(), words.end());
  std::vector<wchar_t *> argv;
  for (std::wstring &word : owned) {
    argv.push_back(&word[0]);
  }
  return table.parse(static_cast<int>(argv.size()), argv.data());
}

TEST(OptionTableTest, UsageLaysOutEveryOptionOnceWithItsHelpInAColumn) {
  Settings s;
  EXPECT_EQ(tableFor(&s).usage(),
            L"usage: tool [options] WORD...\n"
            L"\n"
            L"  --verbose         say more\n"
            L"  --name NAME       what to call it;\n"
            L"                    never empty\n"
            L"  --tag TAG         may be given more than once\n"
            L"  --wait SECONDS    how long\n"
            L"  --help            show this text\n"
            L"\n"
            L"after the options\n");
}

TEST(OptionTableTest, ValuesOfEachKindAreTakenInOrder) {
  Settings s;
  OptionTable table = tableFor(&s);
  const OptionTable::Outcome outcome =
      parse(table, {L"one", L"--tag", L"a", L"--verbose", L"--name", L"--tag", L"--tag", L"\u00FC",
                    L"--wait", L"1.5", L"two", L"-x"});
  EXPECT_FALSE(outcome.help);
  EXPECT_EQ(outcome.problem.text, L"");
  EXPECT_TRUE(s.verbose);
  // A value is the word after its option, whatever it looks like.
  EXPECT_EQ(s.name, L"--tag");
  EXPECT_EQ(s.tags, (std::vector<std::wstring>{L"a", L"\u00FC"}));
  EXPECT_EQ(s.waitMs, 1500u);
  EXPECT_EQ(s.words, (std::vector<std::wstring>{L"one", L"two", L"-x"}));
}

TEST(OptionTableTest, TheFirstProblemOrRequestForHelpEndsTheReading) {
  const struct {
    std::vector<const wchar_t *> words;
    const wchar_t *problem;
  } cases[] = {
      {{L"--frobnicate"}, L"unknown option \"--frobnicate\""},
      {{L"--help=1"}, L"unknown option \"--help=1\""},
      {{L"--name"}, L"--name needs a value"},
      {{L"--name", L""}, L"--name needs a value, not an empty one"},
      {{L"--tag", L""}, L"--tag needs a value, not an empty one"},
      {{L"--wait", L"0"}, L"--wait needs a number of seconds above 0 and up to 60, not \"0\""},
      {{L"--wait", L"61", L"--frobnicate"},
       L"--wait needs a number of seconds above 0 and up to 60, not \"61\""},
      {{L"bad", L"--help"}, L"no bad words"},
  };
  for (const auto &c : cases) {
    Settings s;
    OptionTable table = tableFor(&s);
    const OptionTable::Outcome outcome = parse(table, c.words);
    EXPECT_EQ(outcome.problem.text, c.problem);
    EXPECT_FALSE(outcome.help);
  }
  for (const wchar_t *help : {L"--help", L"-h"}) {
    Settings s;
    OptionTable table = tableFor(&s);
    const OptionTable::Outcome outcome = parse(table, {L"--verbose", help, L"--frobnicate"});
    EXPECT_TRUE(outcome.help);
    EXPECT_EQ(outcome.problem.text, L"");
  }
}

TEST(OptionTableTest, WithoutOperandsOrHelpTheirWordsAreUnknownOptions) {
  bool flag = false;
  OptionTable table(L"", 10);
  table.option(L"--flag", nullptr, L"", lumo::tools::flagValue(&flag))
      .option(L"--value", L"V", L"", lumo::tools::flagValue(&flag))
      .missingValueIsUnknown();
  EXPECT_EQ(parse(table, {L"word"}).problem.text, L"unknown option \"word\"");
  EXPECT_EQ(parse(table, {L"--help"}).problem.text, L"unknown option \"--help\"");
  EXPECT_EQ(parse(table, {L"--value"}).problem.text, L"unknown option \"--value\"");
  EXPECT_EQ(parse(table, {L"--flag"}).problem.text, L"");
}

TEST(OptionTableTest, ProblemsAreSaidAsTheToolsLineWithTheExitCodeOfABadCommandLine) {
  Settings s;
  OptionTable table = tableFor(&s);
  Said said;
  const Diagnostics diagnostics(L"tool", said.stream());
  wchar_t tool[] = L"tool.exe";
  wchar_t unknown[] = L"--\u00FCber";
  wchar_t bad[] = L"bad";
  wchar_t good[] = L"good";
  wchar_t *unknownLine[] = {tool, unknown};
  wchar_t *badLine[] = {tool, bad};
  wchar_t *goodLine[] = {tool, good};
  EXPECT_EQ(table.read(2, unknownLine, diagnostics), 2);
  EXPECT_EQ(table.read(2, badLine, diagnostics), 2);
  EXPECT_EQ(table.read(2, goodLine, diagnostics), OptionTable::kGoOn);
  EXPECT_EQ(said.text(),
            "tool: unknown option \"--\xC3\xBC"
            "ber\" (try --help)\r\n"
            "tool: no bad words\r\n");
}

TEST(DiagnosticsTest, EveryLineNamesTheToolAndFailuresGiveTheirExitCodes) {
  Said said;
  const Diagnostics diagnostics(L"tool", said.stream());
  diagnostics.status(L"watching");
  diagnostics.error(L"Fenster \u00FC");
  EXPECT_EQ(diagnostics.fail(L"cannot"), 1);
  EXPECT_EQ(diagnostics.usageError(L"unknown option"), 2);
  EXPECT_EQ(said.text(),
            "tool: watching\r\n"
            "tool: Fenster \xC3\xBC\r\n"
            "tool: cannot\r\n"
            "tool: unknown option (try --help)\r\n");
}

}  // namespace
