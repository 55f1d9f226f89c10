#pragma once

#include <cstdint>

namespace lumo {

// Told how many bytes a data stream moved in one typed or exact-length
// transfer.
class ByteCountListener {
public:
  virtual ~ByteCountListener() = default;
  virtual void bytesTransferred(std::uint64_t count) = 0;
};

class InputStream {
public:
  virtual ~InputStream() = default;
  // Reads at most length bytes and may return fewer; 0 means no more data
  // will come.
  virtual std::uint64_t read(void *buffer, std::uint64_t length) = 0;
  // Bytes that can be read now without waiting.
  virtual std::uint32_t available() = 0;
  // Streams that count nothing ignore the listener.
  virtual void setListener(ByteCountListener *) {}
};

class OutputStream {
public:
  virtual ~OutputStream() = default;
  // Accepts at most length bytes and may take fewer; 0 means no progress.
  virtual std::uint64_t write(const void *buffer, std::uint64_t length) = 0;
  // No stream here buffers: implementations do nothing or pass the call on.
  virtual void flush() {}
  virtual void setListener(ByteCountListener *) {}
};

// Both directions of one connection.
class Channel : public InputStream, public OutputStream {
public:
  // Makes current and later transfers fail instead of waiting; callable from
  // another thread.
  virtual void cancel() = 0;
};

}  // namespace lumo
