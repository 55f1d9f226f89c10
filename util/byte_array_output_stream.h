#pragma once

#include <cstdint>

#include "util/stream.h"

namespace lumo {

// Collects written bytes in memory. A stream that allocated its buffer grows
// it when a write does not fit, leaving 1024 bytes of headroom, and always
// accepts the whole write. A stream over a caller's buffer never writes past
// its end: a write that does not fit takes only what fits.
class ByteArrayOutputStream : public OutputStream {
public:
  explicit ByteArrayOutputStream(std::uint64_t initialCapacity);
  // The caller's buffer must outlive the stream; the stream does not free it.
  ByteArrayOutputStream(void *buffer, std::uint64_t capacity);
  ByteArrayOutputStream(const ByteArrayOutputStream &) = delete;
  ByteArrayOutputStream &operator=(const ByteArrayOutputStream &) = delete;
  ~ByteArrayOutputStream() override;

  // Growth that cannot be allocated throws std::bad_alloc and leaves the
  // stream as it was.
  std::uint64_t write(const void *data, std::uint64_t length) override;

  // The first getSize() bytes are the written ones; they stay valid until
  // the next write or the stream's end.
  const std::uint8_t *getBuffer() const { return buffer; }
  std::uint64_t getSize() const { return size; }
  std::uint64_t getCapacity() const { return capacity; }

private:
  void grow(std::uint64_t length);

  std::uint64_t size = 0;
  std::uint8_t *buffer;
  std::uint64_t capacity;
  bool ownsBuffer;
};

}  // namespace lumo
