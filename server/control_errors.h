#pragma once

#include <cstdint>
#include <string>

#include "util/exception.h"

namespace lumo {
namespace server {

// Coarse causes of a failed control request. The numbers are part of the
// error's data that callers store and compare, so they never change.
enum ControlErrorKind : std::int32_t {
  PipeNotFound = 2,
  TimedOut = 3,
  Disconnected = 4,
  ReplyTruncated = 5,
  ReplyTooLarge = 6,
  AccessDenied = 8,
  OtherFailure = 9,
};

ControlErrorKind controlErrorKindOf(std::uint32_t errorCode);

// The exchange was ended by cancel() or by the caller's cancellation event.
class ControlPipeCancelled : public IOException {
public:
  ControlPipeCancelled();
};

class ControlRequestError : public IOException {
public:
  // "CONTEXT, error code = CODE", the kind derived from the code.
  ControlRequestError(std::uint32_t errorCode, const std::string &context);
  ControlRequestError(ControlErrorKind kind, const std::string &text, std::uint32_t errorCode);
  ControlRequestError(const ControlRequestError &) = default;
  ControlRequestError &operator=(const ControlRequestError &) = default;

  ControlErrorKind getKind() const { return kind; }
  std::uint32_t getErrorCode() const { return errorCode; }

private:
  ControlErrorKind kind;
  std::uint32_t errorCode;
};

}  // namespace server
}  // namespace lumo
