#pragma once

#include <windows.h>

#include "util/unique_handle.h"

// An unnamed auto-reset event, created not signalled: one successful wait
// consumes one signal. Owners signal and wait on it through getHandle().
class WindowsEvent {
public:
  // Throws lumo::Exception when the system cannot create the event.
  WindowsEvent();
  WindowsEvent(const WindowsEvent &) = delete;
  WindowsEvent &operator=(const WindowsEvent &) = delete;
  virtual ~WindowsEvent() = default;

  HANDLE getHandle() const { return handle.get(); }

private:
  lumo::UniqueHandle handle;
};
