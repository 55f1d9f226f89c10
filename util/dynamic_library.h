#pragma once

#include <string>

#include <windows.h>

#include "util/unique_handle.h"

// A library loaded at run time and kept loaded for the object's life; the
// function pointers taken from it die with it.
class DynamicLibrary {
public:
  // name is UTF-8, such as "Wtsapi32.dll". Only the system folder and the
  // program's own folder are searched, never the current directory or PATH,
  // so a planted copy cannot be picked up. Throws lumo::Exception
  // "NAME library not found".
  explicit DynamicLibrary(const std::string &name);
  DynamicLibrary(const DynamicLibrary &) = delete;
  DynamicLibrary &operator=(const DynamicLibrary &) = delete;
  virtual ~DynamicLibrary() = default;

  // Null when the library does not export the name.
  FARPROC getProcAddress(const char *name) const;

private:
  lumo::UniqueModule module;
};
