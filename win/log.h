#pragma once

#include <cstdarg>
#include <string>

#include "util/format_checking.h"

namespace lumo {

// Where the launching code's report lines go; the using program decides.
class ILogSink {
public:
  virtual ~ILogSink() = default;
  // One finished line, without a line end.
  virtual void print(int level, const std::string &line) = 0;
  virtual bool acceptsLevel(int level) = 0;
};

// printf-style front of a sink: error is level 1, info 4, debug 9. Without a
// sink, or for a level the sink refuses, nothing is formatted at all. A
// format the C runtime rejects, or one that yields no text, prints nothing.
class Log {
public:
  static constexpr int errorLevel = 1;
  static constexpr int infoLevel = 4;
  static constexpr int debugLevel = 9;

  // The sink is not owned and may be null.
  explicit Log(ILogSink *sink = nullptr) : sink(sink) {}

  LUMO_CHECKED_FORMAT(2, 3) void error(const char *format, ...);
  LUMO_CHECKED_FORMAT(2, 3) void info(const char *format, ...);
  LUMO_CHECKED_FORMAT(2, 3) void debug(const char *format, ...);

private:
  void write(int level, const char *format, va_list args);

  ILogSink *sink;
};

}  // namespace lumo
