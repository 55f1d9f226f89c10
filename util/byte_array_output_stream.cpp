#include "util/byte_array_output_stream.h"

#include <cstring>
#include <limits>
#include <new>

namespace lumo {

namespace {

constexpr std::uint64_t headroom = 1024;

}  // namespace

ByteArrayOutputStream::ByteArrayOutputStream(std::uint64_t initialCapacity)
    : buffer(new std::uint8_t[initialCapacity]), capacity(initialCapacity), ownsBuffer(true) {}

ByteArrayOutputStream::ByteArrayOutputStream(void *buffer, std::uint64_t capacity)
    : buffer(static_cast<std::uint8_t *>(buffer)), capacity(capacity), ownsBuffer(false) {}

ByteArrayOutputStream::~ByteArrayOutputStream() {
  if (ownsBuffer) {
    delete[] buffer;
  }
}

std::uint64_t ByteArrayOutputStream::write(const void *data, std::uint64_t length) {
  const std::uint64_t room = capacity - size;
  if (length > room) {
    if (ownsBuffer) {
      grow(length);
    } else {
      length = room;
    }
  }
  if (length != 0) {
    std::memcpy(buffer + size, data, length);
  }
  size += length;
  return length;
}

void ByteArrayOutputStream::grow(std::uint64_t length) {
  // A wrapped sum would make the new array smaller than the data copied in.
  if (length > std::numeric_limits<std::uint64_t>::max() - size - headroom) {
    throw std::bad_alloc();
  }
  const std::uint64_t larger = size + length + headroom;
  auto *replacement = new std::uint8_t[larger];
  std::memcpy(replacement, buffer, size);
  delete[] buffer;
  buffer = replacement;
  capacity = larger;
}

}  // namespace lumo
