#pragma once

// Figures of other processes from Linux's /proc, read through Wine's Z:
// drive: CPU time (utime + stime, in clock ticks of 10 ms) and resident
// memory, and which wineserver and X server serve this Wine session. The
// wineserver opens the files, so /proc/self is the wineserver: a process's
// own figures come from GetProcessTimes and GetProcessMemoryInfo instead.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "util/unique_handle.h"

namespace lumo {
namespace bench {

constexpr double kClockTicksPerSecond = 100;

using UniqueFind = UniqueAny<HANDLE, &FindClose, InvalidHandleValueIsInvalid>;

// Everything a file or pipe gives, until its end.
inline std::string readAll(HANDLE from) {
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

// The whole of /proc/<pid>/<file>, or of /proc/<pid> where `file` is
// empty; empty where it cannot be read.
inline std::string readProcFile(const std::string &pid, const char *file) {
  const std::string name = "Z:\\proc\\" + pid + (*file != '\0' ? "\\" + std::string(file) : "");
  const UniqueFileHandle f(CreateFileA(name.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
  return f ? readAll(f.get()) : std::string();
}

// A whole decimal number; nothing where the text is not one.
inline std::optional<std::uint64_t> wholeNumber(const std::string &text) {
  if (text.empty() || text.size() > 18 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoull(text);
}

// The words of `text` after `mark` (its last place, where `last`);
// nothing where it is not there.
inline std::optional<std::istringstream> wordsAfter(const std::string &text, const char *mark,
                                                    bool last) {
  const size_t at = last ? text.rfind(mark) : text.find(mark);
  if (at == std::string::npos) {
    return std::nullopt;
  }
  return std::istringstream(text.substr(at + std::char_traits<char>::length(mark)));
}

// utime + stime: the 14th and 15th fields, counted from the process's id;
// the command, the 2nd, may hold spaces and ends at the last parenthesis.
inline std::optional<std::uint64_t> cpuTicks(const std::string &pid) {
  std::optional<std::istringstream> fields = wordsAfter(readProcFile(pid, "stat"), ")", true);
  std::string field;
  std::optional<std::uint64_t> user;
  std::optional<std::uint64_t> system;
  for (int i = 3; fields && i <= 15 && *fields >> field; ++i) {
    if (i == 14) {
      user = wholeNumber(field);
    } else if (i == 15) {
      system = wholeNumber(field);
    }
  }
  if (!user || !system) {
    return std::nullopt;
  }
  return *user + *system;
}

// VmRSS, in KiB.
inline std::optional<std::uint64_t> residentKib(const std::string &pid) {
  std::optional<std::istringstream> line = wordsAfter(readProcFile(pid, "status"), "VmRSS:", false);
  std::string figure;
  std::string unit;
  if (!line || !(*line >> figure >> unit) || unit != "kB") {
    return std::nullopt;
  }
  return wholeNumber(figure);
}

struct SessionServers {
  std::string wineserver;
  std::string xserver;
};

// The wineserver and the X server started for this program's Wine prefix:
// of those on the machine, the ones whose environment names it.
inline std::optional<SessionServers> findSessionServers() {
  char prefix[MAX_PATH] = {};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0) {
    return std::nullopt;
  }
  const std::string mark = std::string("WINEPREFIX=") + prefix + '\0';
  SessionServers found;
  WIN32_FIND_DATAA entry;
  const UniqueFind listing(FindFirstFileA("Z:\\proc\\*", &entry));
  if (!listing) {
    return std::nullopt;
  }
  do {
    const std::string pid = entry.cFileName;
    if (!wholeNumber(pid)) {
      continue;
    }
    const std::string command = readProcFile(pid, "comm");
    const bool server = command.rfind("wineserver", 0) == 0;
    const bool x = command == "Xvfb\n" || command == "Xorg\n";
    if ((server || x) && readProcFile(pid, "environ").find(mark) != std::string::npos) {
      (server ? found.wineserver : found.xserver) = pid;
    }
  } while (FindNextFileA(listing.get(), &entry));
  if (found.wineserver.empty() || found.xserver.empty()) {
    return std::nullopt;
  }
  return found;
}

}  // namespace bench
}  // namespace lumo
