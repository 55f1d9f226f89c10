#include "win/platform_seam.h"

namespace lumo {

namespace {

std::unique_ptr<DynamicLibrary> openDynamicLibrary(const std::string &name) {
  return std::make_unique<DynamicLibrary>(name);
}

// The process's own records; their libraries stay loaded until it ends.
TerminalServicesTable processTerminalServices;
RTL_OSVERSIONINFOW processVersionRecord = {};

}  // namespace

WinSeam winSeam = {&GetModuleFileNameW, &openDynamicLibrary, &processTerminalServices,
                   &processVersionRecord};

}  // namespace lumo
