#include "util/dynamic_library.h"

#include "util/exception.h"
#include "util/text_conversion.h"

DynamicLibrary::DynamicLibrary(const std::string &name)
    : module(LoadLibraryExW(lumo::toUtf16(name).c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR)) {
  if (!module) {
    throw lumo::Exception("%s library not found", name.c_str());
  }
}

FARPROC DynamicLibrary::getProcAddress(const char *name) const {
  return GetProcAddress(module.get(), name);
}
