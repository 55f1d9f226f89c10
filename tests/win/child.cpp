#include "child.h"

#include <shellapi.h>

#include <cstdint>
#include <cstring>
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

void putNumber(std::string *out, std::uint32_t value) {
  out->append(reinterpret_cast<const char *>(&value), sizeof value);
}

void putText(std::string *out, const std::wstring &text) {
  putNumber(out, static_cast<std::uint32_t>(text.size()));
  out->append(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
}

void putList(std::string *out, int count, wchar_t **items) {
  putNumber(out, static_cast<std::uint32_t>(count));
  for (int i = 0; i < count; ++i) {
    putText(out, items[i]);
  }
}

int report(int argc, wchar_t **argv) {
  STARTUPINFOW startup = {};
  GetStartupInfoW(&startup);
  std::string out;
  putNumber(&out, startup.dwFlags);
  putNumber(&out, startup.wShowWindow);
  putText(&out, GetCommandLineW());
  putList(&out, argc, argv);
  int count = 0;
  wchar_t **split = CommandLineToArgvW(GetCommandLineW(), &count);
  putList(&out, split == nullptr ? 0 : count, split);
  LocalFree(split);
  writeAll(GetStdHandle(STD_OUTPUT_HANDLE), out);
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

class Reader {
public:
  explicit Reader(const std::string &bytes) : bytes(bytes) {}
  std::uint32_t number() {
    std::uint32_t value = 0;
    take(&value, sizeof value);
    return value;
  }
  std::wstring text() {
    std::wstring value(number(), L'\0');
    take(&value[0], value.size() * sizeof(wchar_t));
    return value;
  }
  std::vector<std::wstring> list() {
    std::vector<std::wstring> items(number());
    for (std::wstring &item : items) {
      item = text();
    }
    return items;
  }

private:
  void take(void *target, std::size_t length) {
    if (bytes.size() - position < length) {
      throw std::runtime_error("child report cut short");
    }
    std::memcpy(target, bytes.data() + position, length);
    position += length;
  }

  const std::string &bytes;
  std::size_t position = 0;
};

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

ChildReport parseReport(const std::string &bytes) {
  Reader reader(bytes);
  ChildReport report;
  report.startupFlags = reader.number();
  report.showWindow = reader.number();
  report.commandLine = reader.text();
  report.runtimeArgv = reader.list();
  report.shellArgv = reader.list();
  return report;
}

std::wstring thisProgram() {
  return toUtf16(win::getModuleFilePath().second);
}

Pipe makePipe() {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  Pipe pipe{UniqueHandle(read), UniqueHandle(write)};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
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
