#include "util/data_stream.h"

#include "util/exception.h"

namespace lumo {

std::uint64_t DataInputStream::read(void *buffer, std::uint64_t length) {
  return source->read(buffer, length);
}

std::uint32_t DataInputStream::available() { return source->available(); }

void DataInputStream::setListener(ByteCountListener *listener) { this->listener = listener; }

std::uint64_t DataOutputStream::write(const void *buffer, std::uint64_t length) {
  return sink->write(buffer, length);
}

void DataOutputStream::flush() { sink->flush(); }

void DataOutputStream::setListener(ByteCountListener *listener) { this->listener = listener; }

void DataOutputStream::writeFully(const void *buffer, std::uint64_t length) {
  const auto *bytes = static_cast<const std::uint8_t *>(buffer);
  std::uint64_t done = 0;
  std::uint64_t left = length;
  while (done < length) {
    const std::uint64_t written = sink->write(bytes + done, left);
    if (written == 0) {
      throw IOException("No progress during an exact-length write");
    }
    done += written;
    left -= written;
  }
  if (listener != nullptr) {
    listener->bytesTransferred(done);
  }
}

void DataOutputStream::writeUInt32(std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  writeFully(bytes, sizeof bytes);
}

}  // namespace lumo
