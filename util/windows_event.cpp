#include "util/windows_event.h"

#include "util/exception.h"
#include "util/platform_seam.h"

WindowsEvent::WindowsEvent() : handle(lumo::utilSeam.createEvent(nullptr, FALSE, FALSE, nullptr)) {
  if (!handle) {
    throw lumo::Exception("Cannot create windows event with error = %d",
                          static_cast<int>(GetLastError()));
  }
}
