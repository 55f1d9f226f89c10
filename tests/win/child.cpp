#include "child.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "util/text_conversion.h"
#include "win/module_file_path.h"

namespace lumo {
namespace test {

namespace {

void writeAll(HANDLE out, const std::string &bytes) {
  DWORD written = 0;
  for (std::size_t done = 0; done < bytes.size(); done += written) {
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr)) {
      return;
    }
  }
}

// Fields end in U+001E, list items in U+001F; no test argument holds either.
std::wstring joined(int count, wchar_t **items) {
  std::wstring text;
  for (int i = 0; i < count; ++i) {
    text += items[i] + std::wstring(1, L'\x1f');
  }
  return text;
}

int report(int argc, wchar_t **argv) {
  STARTUPINFOW startup = {};
  GetStartupInfoW(&startup);
  int count = 0;
  wchar_t **split = CommandLineToArgvW(GetCommandLineW(), &count);
  const UniqueLocalMemory splitOwner(split);
  const std::wstring text = std::to_wstring(startup.dwFlags) + L"\x1e" +
                            std::to_wstring(startup.wShowWindow) + L"\x1e" + GetCommandLineW() +
                            L"\x1e" + joined(argc, argv) + L"\x1e" +
                            joined(split == nullptr ? 0 : count, split) + L"\x1e";
  writeAll(GetStdHandle(STD_OUTPUT_HANDLE),
           std::string(reinterpret_cast<const char *>(text.data()), text.size() * 2));
  return 0;
}

int echo() {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got != 0) {
    writeAll(GetStdHandle(STD_OUTPUT_HANDLE), std::string(buffer, got));
  }
  writeAll(GetStdHandle(STD_ERROR_HANDLE), "err");
  return 0;
}

std::vector<std::wstring> split(const std::wstring &text, wchar_t end) {
  std::vector<std::wstring> items;
  for (std::size_t start = 0, stop; (stop = text.find(end, start)) != std::wstring::npos;
       start = stop + 1) {
    items.push_back(text.substr(start, stop - start));
  }
  return items;
}

}  // namespace

int runChild(int argc, wchar_t **argv) {
  std::wstring mode = argc > 2 ? argv[2] : L"";
  if (argc == 1) {
    wchar_t variable[32] = {};
    GetEnvironmentVariableW(childModeVariable, variable, 32);
    mode = variable;
  }
  if (mode == L"args") {
    return report(argc, argv);
  }
  if (mode == L"exit" && argc > 3) {
    return _wtoi(argv[3]);
  }
  if (mode == L"sleep") {
    Sleep(30000);
    return 0;
  }
  if (mode == L"echo") {
    return echo();
  }
  if (mode == L"module-path") {
    const std::pair<bool, std::string> path = win::getModuleFilePath();
    writeAll(GetStdHandle(STD_OUTPUT_HANDLE), path.second);
    return path.first ? 0 : 1;
  }
  return 99;
}

ChildReport runReporting(Process &process) {
  Pipe output = makePipe();
  process.setStandardHandles(nullptr, output.write.get(), nullptr);
  process.setInheritHandles(true);
  process.start();
  output.write.reset();
  const std::string bytes = readAll(output.read.get());
  EXPECT_EQ(waitForExit(process.getProcessHandle()), 0u);
  const std::vector<std::wstring> fields = split(
      std::wstring(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / 2), L'\x1e');
  if (fields.size() != 5) {
    ADD_FAILURE() << "the child's report is cut short";
    return ChildReport();
  }
  return ChildReport{static_cast<DWORD>(std::stoul(fields[0])),
                     static_cast<DWORD>(std::stoul(fields[1])), fields[2],
                     split(fields[3], L'\x1f'), split(fields[4], L'\x1f')};
}

std::wstring thisProgram() { return toUtf16(win::getModuleFilePath().second); }

Pipe makePipe() {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  Pipe pipe;
  if (!CreatePipe(pipe.read.put(), pipe.write.put(), &inheritable, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

std::string readAll(HANDLE pipe) {
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got != 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

DWORD waitForExit(HANDLE process) {
  if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
    return ~0u;
  }
  DWORD code = ~0u;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace test
}  // namespace lumo
