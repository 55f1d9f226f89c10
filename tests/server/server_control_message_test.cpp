// Control requests and replies end to end against the reference server.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "reference_server.h"
#include "request_error.h"
#include "server/control_command.h"
#include "server/control_errors.h"
#include "server/control_gate.h"
#include "server/control_pipe_connection.h"
#include "server/program_string_resource.h"
#include "server/remote_exception.h"
#include "server/server_control_message.h"
#include "server/server_object_names.h"
#include "util/unique_handle.h"

namespace {

using lumo::server::ControlPipeCancelled;
using lumo::server::ControlPipeConnection;
using lumo::server::ControlRequestError;
using lumo::server::ControlStatus;
using lumo::server::runControlCommand;
using lumo::server::sendControlRequest;
using lumo::server::ServerControlMessage;
using lumo::test::ReferenceServer;
using lumo::test::requestErrorOf;
using lumo::test::ScriptedReply;
using lumo::test::statusReply;
using lumo::test::uniquePipeName;
using Bytes = std::vector<std::uint8_t>;

// Answers each request with the status its id names.
ScriptedReply echoStatus(std::uint32_t id, const Bytes &) { return statusReply(id); }

// Records how the message layer splits its writes and reads.
class RecordingConnection : public ControlPipeConnection {
public:
  using ControlPipeConnection::ControlPipeConnection;
  std::vector<std::uint64_t> writes;
  std::vector<std::uint64_t> reads;
  std::uint64_t read(void *buffer, std::uint64_t length) override {
    const std::uint64_t moved = ControlPipeConnection::read(buffer, length);
    reads.push_back(moved);
    return moved;
  }
  std::uint64_t write(const void *buffer, std::uint64_t length) override {
    const std::uint64_t moved = ControlPipeConnection::write(buffer, length);
    writes.push_back(moved);
    return moved;
  }
};

// A connection, its gate and one message, in the order the caller builds
// them.
struct Exchange {
  Exchange(const std::string &name, std::uint32_t id)
      : connection(name), gate(&connection), message(&gate, &connection, id) {}
  RecordingConnection connection;
  ControlGate gate;
  ServerControlMessage message;
};

template <typename Body>
std::string remoteTextOf(Body body) {
  try {
    body();
  } catch (const RemoteException &error) {
    return error.getMessage();
  }
  ADD_FAILURE() << "no RemoteException";
  return std::string();
}

TEST(ServerControlMessageTest, RequestsAreIdLengthAndPayload) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &) { return statusReply(0); });
  Exchange bare(name, 0x01020304);
  bare.connection.connect();
  bare.message.send();
  EXPECT_EQ(0, bare.message.getStatus());
  EXPECT_EQ(4u, bare.message.getReplyBytesRead());

  Exchange word(name, 9);
  word.connection.connect();
  word.message.writeUInt32(1);
  word.message.send();

  const auto requests = server.requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(Bytes({1, 2, 3, 4, 0, 0, 0, 0}), requests[0]);
  EXPECT_EQ(Bytes({0, 0, 0, 9, 0, 0, 0, 4, 0, 0, 0, 1}), requests[1]);
  // Nothing is buffered: each field is its own pipe write.
  EXPECT_EQ(std::vector<std::uint64_t>({4, 4}), bare.connection.writes);
  EXPECT_EQ(std::vector<std::uint64_t>({4, 4, 4}), word.connection.writes);
}

TEST(ServerControlMessageTest, LargePayloadGoesInChunks) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &) { return statusReply(0); });
  Bytes payload(70000);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<std::uint8_t>(i * 7);
  }
  Exchange large(name, 3);
  large.connection.connect();
  large.message.writeFully(payload.data(), payload.size());
  large.message.send();
  EXPECT_EQ(std::vector<std::uint64_t>({4, 4, 65536, 70000 - 65536}), large.connection.writes);
  const auto requests = server.requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(Bytes({0, 0, 0, 3, 0, 1, 0x11, 0x70}),
            Bytes(requests[0].begin(), requests[0].begin() + 8));
  EXPECT_EQ(payload, Bytes(requests[0].begin() + 8, requests[0].end()));
}

TEST(ServerControlMessageTest, ErrorStatusesKeepTheConnectionUsable) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const Bytes &) { return statusReply(id); });
  RecordingConnection connection(name);
  connection.connect();
  ControlGate gate(&connection);
  const char *texts[] = {"test status one", "test status two", "test status three"};
  for (std::uint32_t status = 1; status <= 3; ++status) {
    ServerControlMessage message(&gate, &connection, status);
    EXPECT_EQ(texts[status - 1], remoteTextOf([&] { message.send(); }));
    EXPECT_EQ(static_cast<std::int32_t>(status), message.getStatus());
  }
  ServerControlMessage success(&gate, &connection, 0);
  success.send();
  EXPECT_EQ(0, success.getStatus());
  EXPECT_EQ(1, server.connections());
}

TEST(ServerControlMessageTest, InvalidStatusCancelsTheConnection) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  Exchange invalid(name, 7);
  invalid.connection.connect();
  EXPECT_EQ("test status invalid", remoteTextOf([&] { invalid.message.send(); }));
  EXPECT_EQ(-1, invalid.message.getStatus());
  EXPECT_THROW(invalid.connection.available(), ControlPipeCancelled);
  EXPECT_EQ(-1, runControlCommand(name, 7));
  EXPECT_EQ(-1, runControlCommand(name, 0x80000000u));
}

TEST(ServerControlMessageTest, SendingAgainStartsANewReplyWithTheSamePayload) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &payload) {
    ScriptedReply reply = statusReply(0);
    reply.bytes.insert(reply.bytes.end(), payload.begin(), payload.end());
    return reply;
  });
  Exchange exchange(name, 1);
  exchange.connection.connect();
  exchange.message.writeUInt32(0xCAFEF00D);
  for (int round = 0; round < 2; ++round) {
    exchange.message.send();
    EXPECT_EQ(4u, exchange.message.getReplyBytesRead());
    EXPECT_EQ(0xCAFEF00Du, exchange.message.readReplyUInt32());
    EXPECT_EQ(8u, exchange.message.getReplyBytesRead());
  }
  const auto requests = server.requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(requests[0], requests[1]);
}

TEST(ServerControlMessageTest, ReplyInSingleBytesIsAssembled) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &) {
    ScriptedReply reply;
    reply.bytes = {0, 0, 0, 0, 0x89, 0xAB, 0xCD, 0xEF};
    reply.oneByteAtATime = true;
    return reply;
  });
  Exchange exchange(name, 1);
  exchange.connection.connect();
  exchange.message.send();
  EXPECT_EQ(std::vector<std::uint64_t>({1, 1, 1, 1}), exchange.connection.reads);
  EXPECT_EQ(0, exchange.message.getStatus());
  EXPECT_EQ(4u, exchange.message.getReplyBytesRead());
  EXPECT_EQ(0x89ABCDEFu, exchange.message.readReplyUInt32());
  EXPECT_EQ(8u, exchange.message.getReplyBytesRead());
}

TEST(ServerControlMessageTest, RepliesThatEndEarly) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const Bytes &) {
    ScriptedReply reply;
    if (id == 1) {
      reply.bytes = {0, 0};
    } else if (id == 2) {
      reply.bytes = {0, 0, 0, 0, 0};
    }
    reply.closeAfter = true;
    return reply;
  });
  const struct {
    std::uint32_t id;
    lumo::server::ControlErrorKind kind;
  } cases[] = {{1, lumo::server::ReplyTruncated}, {3, lumo::server::Disconnected}};
  for (const auto &c : cases) {
    Exchange exchange(name, c.id);
    exchange.connection.connect();
    const ControlRequestError error = requestErrorOf([&] { exchange.message.send(); });
    EXPECT_EQ(c.kind, error.getKind());
    EXPECT_EQ(0u, error.getErrorCode());
    EXPECT_EQ("Control reply ended before the requested field", error.getMessage());
    EXPECT_EQ(-1, exchange.message.getStatus());
    EXPECT_THROW(exchange.connection.available(), ControlPipeCancelled);
  }
  // A field cut short after a complete status counts the whole reply so far.
  Exchange later(name, 2);
  later.connection.connect();
  later.message.send();
  EXPECT_EQ(lumo::server::ReplyTruncated,
            requestErrorOf([&] { later.message.readReplyUInt32(); }).getKind());
  EXPECT_EQ(1, runControlCommand(name, 3));
}

// A channel in memory: the reply budget is the message's own business, and
// sixteen thousand pipe reads would only make the test slow.
class MemoryChannel : public lumo::Channel {
public:
  Bytes reply;
  std::size_t position = 0;
  int cancels = 0;
  bool cancelThrows = false;
  std::uint64_t read(void *buffer, std::uint64_t length) override {
    const std::uint64_t count = std::min<std::uint64_t>(length, reply.size() - position);
    std::copy_n(reply.begin() + position, count, static_cast<std::uint8_t *>(buffer));
    position += count;
    return count;
  }
  std::uint32_t available() override { return 0; }
  std::uint64_t write(const void *, std::uint64_t length) override { return length; }
  void cancel() override {
    ++cancels;
    if (cancelThrows) {
      throw ControlRequestError(6, "Cannot cancel control pipe I/O");
    }
  }
};

TEST(ServerControlMessageTest, ReplyLongerThanTheLimitIsRefused) {
  MemoryChannel channel;
  channel.reply.assign(ServerControlMessage::replyLimit + 4, 0);
  ControlGate gate(&channel);
  ServerControlMessage message(&gate, &channel, 1);
  message.send();
  for (std::uint64_t field = 1; field < ServerControlMessage::replyLimit / 4; ++field) {
    ASSERT_EQ(0u, message.readReplyUInt32()) << field;
  }
  EXPECT_EQ(ServerControlMessage::replyLimit, message.getReplyBytesRead());
  EXPECT_EQ(0, channel.cancels);
  const ControlRequestError error = requestErrorOf([&] { message.readReplyUInt32(); });
  EXPECT_EQ(lumo::server::ReplyTooLarge, error.getKind());
  EXPECT_EQ(0u, error.getErrorCode());
  EXPECT_EQ("Control reply exceeds size limit", error.getMessage());
  EXPECT_EQ(1, channel.cancels);
  // The next send() starts a fresh budget.
  channel.position = 0;
  message.send();
  EXPECT_EQ(0u, message.readReplyUInt32());
}

TEST(ServerControlMessageTest, AFailingCancelDoesNotHideTheFailure) {
  MemoryChannel channel;
  channel.reply = {0, 0, 0, 9};
  channel.cancelThrows = true;
  ControlGate gate(&channel);
  ServerControlMessage message(&gate, &channel, 1);
  EXPECT_EQ("test status invalid", remoteTextOf([&] { message.send(); }));
  EXPECT_EQ(lumo::server::Disconnected, requestErrorOf([&] { message.send(); }).getKind());
  EXPECT_EQ(3, channel.cancels);
}

TEST(ServerControlMessageTest, ConnectionFailuresPassThroughAndCancel) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &) { return ScriptedReply(); });
  Exchange exchange(name, 1);
  exchange.connection.setTimeout(300);
  exchange.connection.connect();
  const ControlRequestError error = requestErrorOf([&] { exchange.message.send(); });
  EXPECT_EQ("Control pipe I/O wait failed, error code = 1460", error.getMessage());
  EXPECT_THROW(exchange.connection.available(), ControlPipeCancelled);
  // Not reconnected: the message does not connect on its own.
  EXPECT_THROW(exchange.message.send(), ControlPipeCancelled);
}

TEST(ServerControlMessageTest, OneShotCommandFoldsEveryOutcome) {
  const std::string name = uniquePipeName();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(1, runControlCommand(name, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(1, runControlCommand("", 0));

  ReferenceServer server(name, echoStatus);
  for (std::uint32_t status = 0; status <= 3; ++status) {
    EXPECT_EQ(static_cast<std::int32_t>(status), runControlCommand(name, status));
  }
  // Each command sends one bare request on a pipe of its own.
  const auto requests = server.requests();
  ASSERT_EQ(4u, requests.size());
  EXPECT_EQ(Bytes({0, 0, 0, 2, 0, 0, 0, 0}), requests[2]);
  EXPECT_EQ(4, server.connections());
}

TEST(ServerControlMessageTest, OneRequestCarriesPayloadTimeoutAndCancelEvent) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const Bytes &) {
    return id == 100 ? ScriptedReply() : statusReply(id);
  });
  const std::uint8_t payload[] = {0x0A, 0xFF, 0x10};
  const ControlStatus accepted = sendControlRequest(name, 0, payload, sizeof payload,
                                                    ControlPipeConnection::noTimeout, nullptr);
  EXPECT_EQ(0, accepted.status);
  EXPECT_EQ("", accepted.text);
  ASSERT_EQ(1u, server.requests().size());
  EXPECT_EQ(Bytes({0, 0, 0, 0, 0, 0, 0, 3, 0x0A, 0xFF, 0x10}), server.requests()[0]);

  const ControlStatus refused = sendControlRequest(name, 3, nullptr, 0, 1000, nullptr);
  EXPECT_EQ(3, refused.status);
  EXPECT_EQ("test status three", refused.text);
  const ControlStatus invalid = sendControlRequest(name, 4, nullptr, 0, 1000, nullptr);
  EXPECT_EQ(-1, invalid.status);
  EXPECT_EQ("test status invalid", invalid.text);

  // An unanswered request ends with the time allowed, or with the caller's
  // event, which then keeps every later request from starting.
  const auto start = std::chrono::steady_clock::now();
  const ControlRequestError late =
      requestErrorOf([&] { sendControlRequest(name, 100, nullptr, 0, 300, nullptr); });
  EXPECT_EQ(1460u, late.getErrorCode());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const lumo::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread signaller([&] {
    Sleep(200);
    SetEvent(stop.get());
  });
  EXPECT_THROW(
      sendControlRequest(name, 100, nullptr, 0, ControlPipeConnection::noTimeout, stop.get()),
      ControlPipeCancelled);
  signaller.join();
  EXPECT_THROW(sendControlRequest(name, 0, nullptr, 0, 1000, stop.get()), ControlPipeCancelled);
  EXPECT_EQ(5u, server.requests().size());
}

TEST(ServerControlMessageTest, ServiceCommandUsesTheCataloguePipe) {
  const std::string name = lumo::server::ServerObjectNames::instance().serviceControlPipeName;
  ReferenceServer server(name, echoStatus);
  EXPECT_EQ(2, lumo::server::runServiceControlCommand(2));
  EXPECT_EQ(0, lumo::server::runServiceControlCommand(0));
}

TEST(ServerControlMessageTest, StatusTextsComeFromTheProgramsResources) {
  EXPECT_EQ("test status two", lumo::server::programStringResource(727));
  EXPECT_EQ("", lumo::server::programStringResource(4711));
  EXPECT_EQ("", RemoteException("").getMessage());
  EXPECT_EQ("50% done", RemoteException("50% done").getMessage());
}

}  // namespace
