#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <numeric>
#include <vector>

#include "util/byte_array_output_stream.h"
#include "util/data_stream.h"
#include "util/exception.h"

using lumo::ByteArrayOutputStream;
using lumo::DataOutputStream;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Takes at most perCall bytes a call; 0 makes no progress at all.
struct MeteredSink : lumo::OutputStream {
  explicit MeteredSink(std::uint64_t perCall) : perCall(perCall) {}
  std::uint64_t write(const void *buffer, std::uint64_t length) override {
    const auto *bytes = static_cast<const std::uint8_t *>(buffer);
    received.insert(received.end(), bytes, bytes + std::min(length, perCall));
    ++calls;
    return std::min(length, perCall);
  }
  std::uint64_t perCall;
  int calls = 0;
  Bytes received;
};

struct RecordingListener : lumo::ByteCountListener {
  void bytesTransferred(std::uint64_t count) override { reports.push_back(count); }
  std::vector<std::uint64_t> reports;
};

Bytes contents(const ByteArrayOutputStream &stream) {
  return Bytes(stream.getBuffer(), stream.getBuffer() + stream.getSize());
}

Bytes sample(std::size_t length) {
  Bytes bytes(length);
  std::iota(bytes.begin(), bytes.end(), 0);
  return bytes;
}

}  // namespace

TEST(DataOutputStreamTest, ExactLengthWritesArriveWholeAndReportOnce) {
  MeteredSink slow(1);
  DataOutputStream out(&slow);
  RecordingListener listener;
  out.setListener(&listener);
  out.writeUInt32(0x01020304);
  const Bytes data = sample(10);
  out.writeFully(data.data(), data.size());
  out.writeFully(data.data(), 0);
  Bytes expected{1, 2, 3, 4};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(slow.received, expected);
  EXPECT_EQ(slow.calls, 14);
  EXPECT_EQ(listener.reports, (std::vector<std::uint64_t>{4, 10, 0}));
}

TEST(DataOutputStreamTest, SinkWithoutProgressEndsTheWriteUnreported) {
  MeteredSink stuck(0);
  DataOutputStream out(&stuck);
  RecordingListener listener;
  out.setListener(&listener);
  try {
    out.writeUInt32(7);
    FAIL() << "the write completed";
  } catch (const lumo::IOException &e) {
    EXPECT_EQ(e.getMessage(), "No progress during an exact-length write");
  }
  EXPECT_EQ(stuck.calls, 1);
  EXPECT_TRUE(listener.reports.empty());
}

TEST(ByteArrayOutputStreamTest, GrowsOnlyWhenAWriteDoesNotFit) {
  const Bytes data = sample(5000);
  ByteArrayOutputStream filled(2048);
  filled.write(data.data(), 2048);
  EXPECT_EQ(filled.getCapacity(), 2048u);
  EXPECT_EQ(filled.write(data.data() + 2048, 1), 1u);
  EXPECT_EQ(filled.getCapacity(), 3073u);
  EXPECT_EQ(contents(filled), Bytes(data.begin(), data.begin() + 2049));
  ByteArrayOutputStream fresh(2048);
  EXPECT_EQ(fresh.write(data.data(), data.size()), 5000u);
  EXPECT_EQ(fresh.getCapacity(), 6024u);
  EXPECT_EQ(contents(fresh), data);
  // A length whose sum with the headroom wraps must not shrink the buffer.
  EXPECT_THROW(fresh.write(data.data(), std::numeric_limits<std::uint64_t>::max() - 100),
               std::bad_alloc);
  EXPECT_EQ(fresh.getCapacity(), 6024u);
  EXPECT_EQ(contents(fresh), data);
}

TEST(ByteArrayOutputStreamTest, CallersBufferIsNeverWrittenPastItsEnd) {
  Bytes storage(16, 0xEE);
  ByteArrayOutputStream stream(storage.data(), 8);
  const Bytes data = sample(6);
  EXPECT_EQ(stream.write(data.data(), 6), 6u);
  EXPECT_EQ(stream.write(data.data(), 6), 2u);
  EXPECT_EQ(Bytes(storage.begin() + 8, storage.end()), Bytes(8, 0xEE));
  DataOutputStream out(&stream);
  EXPECT_THROW(out.writeUInt32(1), lumo::IOException);
}
