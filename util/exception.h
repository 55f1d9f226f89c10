#pragma once

#include <string>

#include "util/format_checking.h"

namespace lumo {

// The root of every failure the library throws. It is deliberately not a
// std::exception: callers catch the family by reference and read the text,
// UTF-8, with getMessage().
class Exception {
public:
  Exception();
  // The message comes from vformat, so a format the C runtime rejects reads
  // "can't format string". Running out of memory here ends the process.
  LUMO_CHECKED_FORMAT(2, 3) explicit Exception(const char *format, ...) noexcept;
  Exception(const Exception &) = default;
  Exception &operator=(const Exception &) = default;
  virtual ~Exception();

  std::string getMessage() const;

protected:
  std::string message;
};

// A failed Windows call: the code and its English description on one line.
// Constructors without a code take the calling thread's last-error value,
// read before anything can overwrite it.
class SystemException : public Exception {
public:
  SystemException();
  explicit SystemException(int errorCode);
  explicit SystemException(const std::string &text);
  SystemException(const SystemException &) = default;
  SystemException &operator=(const SystemException &) = default;

  int getErrorCode() const;

protected:
  std::string systemMessage;
  int errorCode;

private:
  void describe(const std::string &text);
};

// A stream or channel failure. The text is kept exactly, percent signs
// included.
class IOException : public Exception {
public:
  explicit IOException(const std::string &text);
  IOException(const IOException &) = default;
  IOException &operator=(const IOException &) = default;
};

}  // namespace lumo
