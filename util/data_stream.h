#pragma once

#include <cstdint>

#include "util/stream.h"

namespace lumo {

// The wrapped streams are not owned: their creator keeps them alive as long
// as the wrappers.

class DataInputStream : public InputStream {
public:
  explicit DataInputStream(InputStream *source) : source(source) {}

  std::uint64_t read(void *buffer, std::uint64_t length) override;
  std::uint32_t available() override;
  void setListener(ByteCountListener *listener) override;

protected:
  InputStream *source;
  ByteCountListener *listener = nullptr;
};

// Adds exact-length and big-endian typed writes to a sink.
class DataOutputStream : public OutputStream {
public:
  explicit DataOutputStream(OutputStream *sink) : sink(sink) {}

  std::uint64_t write(const void *buffer, std::uint64_t length) override;
  void flush() override;
  void setListener(ByteCountListener *listener) override;

  // Writes all length bytes or throws IOException when the sink stops making
  // progress; bytes already accepted stay written. The listener hears of a
  // completed write only, once, with its whole length.
  void writeFully(const void *buffer, std::uint64_t length);
  // Most significant byte first, with the exact-length rule.
  void writeUInt32(std::uint32_t value);

protected:
  OutputStream *sink;
  ByteCountListener *listener = nullptr;
};

}  // namespace lumo
