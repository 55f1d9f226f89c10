#include "storage/full_path.h"

#include <windows.h>

namespace lumo {
namespace storage {
namespace {

bool isSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

// \\?\ paths go to the file system unparsed; \\.\ paths name devices.
bool isPrefixed(const std::wstring &path) {
  return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
         (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

// C:\... or \\server\share\...
bool startsFull(const std::wstring &path) {
  return (path.size() >= 3 && path[1] == L':' && isSeparator(path[2])) ||
         (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]));
}

bool hasDotPart(const std::wstring &path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) {
      ++end;
    }
    const std::size_t length = end - start;
    if ((length == 1 || length == 2) && path.compare(start, length, L"..", length) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

std::wstring fullPath(const std::wstring &path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0) {
      return path;
    }
    // Too small a buffer gives the size needed, which counts the NUL; a
    // result shorter than the buffer is the path itself.
    const bool fitted = length < full.size();
    full.resize(length);
    if (fitted) {
      return full;
    }
  }
}

std::wstring resolvedPath(const std::wstring &path) {
  if ((path.size() >= 4 && path.compare(0, 4, L"\\\\?\\") == 0) ||
      (startsFull(path) && !hasDotPart(path))) {
    return path;
  }
  return fullPath(path);
}

std::wstring platformPath(const std::wstring &path) {
  // Resolving never lengthens a full path.
  if (isPrefixed(path) || (path.size() < MAX_PATH && startsFull(path))) {
    return path;
  }
  const std::wstring full = fullPath(path);
  if (full.size() < MAX_PATH || isPrefixed(full)) {
    return path;
  }
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
    return L"\\\\?\\" + full;
  }
  if (full[0] == L'\\' && full[1] == L'\\') {
    return L"\\\\?\\UNC" + full.substr(1);
  }
  return path;
}

}  // namespace storage
}  // namespace lumo
