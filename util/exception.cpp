#include "util/exception.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

#include "util/text_conversion.h"
#include "util/text_format.h"
#include "util/platform_seam.h"

namespace lumo {

namespace {

// English regardless of the user's language, so that logs read the same on
// every installation; a system without English texts gets the bare code.
constexpr DWORD englishUnitedStates = 0x0409;
constexpr DWORD descriptionCapacity = 10240;

}  // namespace

Exception::Exception() = default;

Exception::Exception(const char *format, ...) noexcept {
  va_list args;
  va_start(args, format);
  message = vformat(format, args);
  va_end(args);
}

Exception::~Exception() = default;

std::string Exception::getMessage() const { return message; }

// In each constructor nothing runs before the last-error value is read that
// could allocate or call the system: the bases and systemMessage start empty.
SystemException::SystemException() : errorCode(static_cast<int>(GetLastError())) {
  describe(std::string());
}

SystemException::SystemException(int errorCode) : errorCode(errorCode) { describe(std::string()); }

SystemException::SystemException(const std::string &text)
    : errorCode(static_cast<int>(GetLastError())) {
  describe(text);
}

int SystemException::getErrorCode() const { return errorCode; }

void SystemException::describe(const std::string &callerText) {
  std::string text = callerText;
  if (text.empty() && errorCode == 0) {
    text =
        "Thrown a system exception but the program cannot identify the corresponding "
        "system error.";
  }

  std::vector<wchar_t> buffer(descriptionCapacity, L'\0');
  const DWORD length =
      utilSeam.formatMessage(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(errorCode), englishUnitedStates, buffer.data(),
                             descriptionCapacity, nullptr);
  // Whatever the call left behind, the text ends inside the buffer.
  buffer.back() = L'\0';
  std::string description = toUtf8(buffer.data());
  description.erase(std::remove_if(description.begin(), description.end(),
                                   [](char c) { return c == '\r' || c == '\n' || c == '\t'; }),
                    description.end());
  if (!description.empty() && description.back() == '.') {
    description.pop_back();
  }

  systemMessage = length != 0 ? format("%s (error code %d)", description.c_str(), errorCode)
                              : format("Error code %d", errorCode);
  if (errorCode == 0) {
    message = text;
    systemMessage = text;
  } else if (!text.empty()) {
    message = format("%s (system error: )%s", text.c_str(), systemMessage.c_str());
  } else {
    message = systemMessage;
  }
}

IOException::IOException(const std::string &text) : Exception("%s", text.c_str()) {}

}  // namespace lumo
