#include "damage/per_monitor_dpi.h"

#include <stdexcept>

#include "damage/platform_seam.h"

namespace lumo {
namespace damage {

namespace {

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE, as the hooks read in.
HANDLE perMonitorAware() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)); }

}  // namespace

PerMonitorDpiScope::PerMonitorDpiScope()
    : previous_(damageSeam.setThreadDpiAwarenessContext(perMonitorAware())) {
  if (previous_ == nullptr) {
    throw std::runtime_error(
        "the damage tracker needs a per-monitor DPI awareness context (Windows 10 version 1607 "
        "or later), and the system refused it");
  }
}

PerMonitorDpiScope::~PerMonitorDpiScope() { damageSeam.setThreadDpiAwarenessContext(previous_); }

}  // namespace damage
}  // namespace lumo
