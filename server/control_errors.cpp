#include "server/control_errors.h"

#include <windows.h>

#include "util/text_format.h"

namespace lumo {
namespace server {

ControlErrorKind controlErrorKindOf(std::uint32_t errorCode) {
  switch (errorCode) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PipeNotFound;
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT:
      return TimedOut;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
      return Disconnected;
    case ERROR_ACCESS_DENIED:
      return AccessDenied;
    default:
      return OtherFailure;
  }
}

ControlPipeCancelled::ControlPipeCancelled() : IOException("Control pipe I/O was cancelled") {}

ControlRequestError::ControlRequestError(std::uint32_t errorCode, const std::string &context)
    : IOException(
          format("%s, error code = %lu", context.c_str(), static_cast<unsigned long>(errorCode))),
      kind(controlErrorKindOf(errorCode)),
      errorCode(errorCode) {}

ControlRequestError::ControlRequestError(ControlErrorKind kind, const std::string &text,
                                         std::uint32_t errorCode)
    : IOException(text), kind(kind), errorCode(errorCode) {}

}  // namespace server
}  // namespace lumo
