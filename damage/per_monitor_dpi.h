#pragma once

// Geometry in the screen's pixels whatever the DPI awareness of the calling
// thread: the tracker's look at the desktop and the frame builder's capture
// read the screen in this scope.

#include <windows.h>

namespace lumo {
namespace damage {

// The thread in the per-monitor context for the scope's life; its own
// context is back when the scope ends, on every path. Throws
// std::runtime_error where the system has no such context or refuses it:
// logical units would put every addition and every capture in the wrong
// place.
class PerMonitorDpiScope {
public:
  PerMonitorDpiScope();
  PerMonitorDpiScope(const PerMonitorDpiScope &) = delete;
  PerMonitorDpiScope &operator=(const PerMonitorDpiScope &) = delete;
  ~PerMonitorDpiScope();

private:
  const HANDLE previous_;
};

}  // namespace damage
}  // namespace lumo
