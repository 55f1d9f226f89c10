// The control pipe's client end against the reference server: opening,
// chunking, the exchange clock, cancellation and the rare failure paths.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "reference_server.h"
#include "request_error.h"
#include "server/control_errors.h"
#include "seam_override.h"
#include "server/control_pipe_connection.h"
#include "server/platform_seam.h"
#include "test_support.h"
#include "util/exception.h"
#include "util/platform_seam.h"

namespace {

using lumo::server::ControlPipeCancelled;
using lumo::server::ControlPipeConnection;
using lumo::server::ControlRequestError;
using lumo::server::ServerSeam;
using lumo::server::serverSeam;
using lumo::test::handleMeasure;
using lumo::test::ReferenceServer;
using lumo::test::requestErrorOf;
using lumo::test::ScriptedReply;
using lumo::test::SeamOverride;
using lumo::test::statusReply;
using lumo::test::UniqueHandle;
using lumo::test::uniquePipeName;
using Clock = std::chrono::steady_clock;

ScriptedReply silent(std::uint32_t, const std::vector<std::uint8_t> &) { return {}; }

ScriptedReply echoStatus(std::uint32_t id, const std::vector<std::uint8_t> &) {
  return statusReply(id);
}

long long millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const std::uint8_t request[8] = {0, 0, 0, 5, 0, 0, 0, 0};

std::uint32_t readStatus(ControlPipeConnection &connection) {
  std::uint8_t reply[4];
  std::uint64_t have = 0;
  while (have < 4) {
    const std::uint64_t got = connection.read(reply + have, 4 - have);
    if (got == 0) {
      ADD_FAILURE() << "reply ended early";
      return ~0u;
    }
    have += got;
  }
  return static_cast<std::uint32_t>(reply[0]) << 24 | reply[1] << 16 | reply[2] << 8 | reply[3];
}

// One request on the pipe and its status back, the way the message layer
// drives the connection.
std::uint32_t exchange(ControlPipeConnection &connection) {
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  return readStatus(connection);
}

// Reopens the pipe, giving the server's thread time to put up its next
// instance after the previous client left.
void reconnect(ControlPipeConnection &connection) {
  for (int attempt = 0;; ++attempt) {
    try {
      connection.connect();
      return;
    } catch (const ControlRequestError &error) {
      if (attempt == 3000 || (error.getErrorCode() != 2 && error.getErrorCode() != 231)) {
        throw;
      }
      Sleep(1);
    }
  }
}

TEST(ControlRequestErrorTest, KindsFollowTheWindowsCode) {
  const struct {
    std::uint32_t code;
    lumo::server::ControlErrorKind kind;
  } cases[] = {{2, lumo::server::PipeNotFound},   {3, lumo::server::PipeNotFound},
               {121, lumo::server::TimedOut},     {1460, lumo::server::TimedOut},
               {109, lumo::server::Disconnected}, {232, lumo::server::Disconnected},
               {233, lumo::server::Disconnected}, {5, lumo::server::AccessDenied},
               {0, lumo::server::OtherFailure},   {231, lumo::server::OtherFailure},
               {995, lumo::server::OtherFailure}};
  for (const auto &c : cases) {
    const ControlRequestError error(c.code, "Step");
    EXPECT_EQ(c.kind, error.getKind()) << c.code;
    EXPECT_EQ(c.code, error.getErrorCode());
  }
  EXPECT_EQ("Cannot open control pipe, error code = 4294967295",
            ControlRequestError(0xFFFFFFFFu, "Cannot open control pipe").getMessage());

  const ControlRequestError direct(lumo::server::ReplyTruncated, "100% text", 7);
  const ControlRequestError copy(direct);
  EXPECT_EQ("100% text", copy.getMessage());
  EXPECT_EQ(lumo::server::ReplyTruncated, copy.getKind());
  EXPECT_EQ(7u, copy.getErrorCode());
  EXPECT_EQ("Control pipe I/O was cancelled", ControlPipeCancelled().getMessage());
}

TEST(ControlPipeConnectionTest, NeedsANameAndRefusesIoUntilConnected) {
  try {
    ControlPipeConnection unnamed("");
    FAIL() << "an empty name was accepted";
  } catch (const lumo::IOException &error) {
    EXPECT_EQ("A control pipe name is required", error.getMessage());
  }

  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  ControlPipeConnection connection(name);
  std::uint8_t buffer[4];
  EXPECT_THROW(connection.read(buffer, sizeof buffer), ControlPipeCancelled);
  EXPECT_THROW(connection.write(buffer, sizeof buffer), ControlPipeCancelled);
  EXPECT_THROW(connection.available(), ControlPipeCancelled);
  EXPECT_EQ(&connection, static_cast<Transport &>(connection).getChannel());
  EXPECT_EQ(nullptr, static_cast<Transport &>(connection).getSideChannel());

  connection.connect();
  EXPECT_EQ(5u, exchange(connection));
  EXPECT_EQ(0u, connection.read(buffer, 0));
  EXPECT_EQ(0u, connection.write(buffer, 0));
}

TEST(ControlPipeConnectionTest, OpensForIdentificationOnlyInByteMode) {
  static std::wstring path;
  static DWORD access, share, disposition, flags, mode;
  const SeamOverride<ServerSeam> seam(serverSeam);
  serverSeam.createFile = [](LPCWSTR name, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES security,
                             DWORD d, DWORD f, HANDLE t) -> HANDLE {
    path = name;
    access = a, share = s, disposition = d, flags = f;
    return CreateFileW(name, a, s, security, d, f, t);
  };
  serverSeam.setNamedPipeHandleState = [](HANDLE pipe, LPDWORD m, LPDWORD count,
                                          LPDWORD timeout) -> BOOL {
    mode = *m;
    return count == nullptr && timeout == nullptr &&
           SetNamedPipeHandleState(pipe, m, count, timeout);
  };
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  ControlPipeConnection connection(name);
  connection.connect();
  EXPECT_EQ(L"\\\\.\\pipe\\" + std::wstring(name.begin(), name.end()), path);
  EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), access);
  EXPECT_EQ(0u, share);
  EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), disposition);
  EXPECT_EQ(0x40110000u, flags);
  EXPECT_EQ(0u, mode);
  EXPECT_EQ(5u, exchange(connection));
}

TEST(ControlPipeConnectionTest, MissingAndBusyPipesFailAtOnce) {
  const std::string name = uniquePipeName();
  ControlPipeConnection lonely(name);
  const auto start = Clock::now();
  const ControlRequestError missing = requestErrorOf([&] { lonely.connect(); });
  EXPECT_LT(millisecondsSince(start), 1000);
  EXPECT_EQ(lumo::server::PipeNotFound, missing.getKind());
  EXPECT_EQ(2u, missing.getErrorCode());
  EXPECT_EQ("Cannot open control pipe, error code = 2", missing.getMessage());

  ReferenceServer server(name, echoStatus, 1);
  // A failed open left the connection closed, so this simply tries again.
  lonely.connect();
  ControlPipeConnection second(name);
  const auto busyStart = Clock::now();
  const ControlRequestError busy = requestErrorOf([&] { second.connect(); });
  EXPECT_LT(millisecondsSince(busyStart), 1000);
  EXPECT_EQ(lumo::server::OtherFailure, busy.getKind());
  EXPECT_EQ(231u, busy.getErrorCode());
  EXPECT_EQ(5u, exchange(lonely));
}

TEST(ControlPipeConnectionTest, FailedPreparationClosesThePipeAndAllowsARetry) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus, 1);
  ControlPipeConnection connection(name);
  {
    const SeamOverride<ServerSeam> seam(serverSeam);
    serverSeam.setNamedPipeHandleState = [](HANDLE, LPDWORD, LPDWORD, LPDWORD) -> BOOL {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    };
    const ControlRequestError error = requestErrorOf([&] { connection.connect(); });
    EXPECT_EQ("Cannot prepare control pipe, error code = 5", error.getMessage());
    EXPECT_EQ(lumo::server::AccessDenied, error.getKind());
    EXPECT_THROW(connection.available(), ControlPipeCancelled);
  }
  {
    const SeamOverride<ServerSeam> seam(serverSeam);
    serverSeam.resetEvent = [](HANDLE) -> BOOL {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    };
    EXPECT_EQ(6u, requestErrorOf([&] { reconnect(connection); }).getErrorCode());
  }
  // Only one instance exists: this open works only if the failed ones were
  // closed again.
  reconnect(connection);
  EXPECT_EQ(5u, exchange(connection));
}

TEST(ControlPipeConnectionTest, ConnectOnAnOpenPipeOnlyRestartsTheClock) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  ControlPipeConnection connection(name);
  connection.setTimeout(400);
  connection.connect();
  Sleep(250);
  connection.connect();
  Sleep(250);
  EXPECT_EQ(5u, exchange(connection));
  EXPECT_EQ(1, server.connections());
}

TEST(ControlPipeConnectionTest, EachCallMovesAtMostOneChunk) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  ControlPipeConnection connection(name);
  connection.connect();
  std::vector<std::uint8_t> data(100000, 0xAB);
  // Header of a request whose payload is big enough to take all that follows.
  const std::uint8_t header[8] = {0, 0, 0, 1, 0, 2, 0x8A, 0x88};  // 166536 bytes
  EXPECT_EQ(8u, connection.write(header, sizeof header));
  EXPECT_EQ(65536u, connection.write(data.data(), data.size()));
  connection.setMaxTransferSize(1000);
  EXPECT_EQ(1000u, connection.write(data.data(), data.size()));
  connection.setMaxTransferSize(ControlPipeConnection::noSizeLimit);
  EXPECT_EQ(100000u, connection.write(data.data(), data.size()));
  for (int i = 0; i < 200 && server.requests().empty(); ++i) {
    Sleep(10);
  }
  ASSERT_EQ(1u, server.requests().size());
  EXPECT_EQ(8u + 166536u, server.requests()[0].size());
}

TEST(ControlPipeConnectionTest, ReadsWhatIsWaitingAndThenTheEndOfTheStream) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    ScriptedReply reply;
    if (id == 5) {
      reply = statusReply(0x01020304);
    } else {
      reply.closeAfter = true;
    }
    return reply;
  });
  ControlPipeConnection connection(name);
  connection.connect();
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  for (int i = 0; i < 200 && connection.available() < 4; ++i) {
    Sleep(10);
  }
  EXPECT_EQ(4u, connection.available());
  EXPECT_EQ(0x01020304u, readStatus(connection));

  const std::uint8_t closing[8] = {0, 0, 0, 6, 0, 0, 0, 0};
  EXPECT_EQ(8u, connection.write(closing, sizeof closing));
  std::uint8_t buffer[4];
  EXPECT_EQ(0u, connection.read(buffer, sizeof buffer));
  EXPECT_EQ(0u, connection.read(buffer, sizeof buffer));
  // Writing to a closed pipe is a broken pipe, not an end of stream.
  const ControlRequestError error =
      requestErrorOf([&] { connection.write(request, sizeof request); });
  EXPECT_EQ(lumo::server::Disconnected, error.getKind());
  EXPECT_EQ(0u, error.getMessage().find("Control pipe transfer failed, error code = "));
}

TEST(ControlPipeConnectionTest, ZeroTimeoutFailsEveryTransferBeforeTheLengthIsSeen) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  ControlPipeConnection connection(name);
  connection.setTimeout(0);
  std::uint8_t buffer[4];
  for (int i = 0; i < 2; ++i) {
    reconnect(connection);
    const ControlRequestError error = requestErrorOf([&] {
      if (i == 0) {
        connection.read(buffer, 0);
      } else {
        connection.write(request, sizeof request);
      }
    });
    EXPECT_EQ("Control pipe request timed out, error code = 1460", error.getMessage());
    EXPECT_EQ(lumo::server::TimedOut, error.getKind());
    EXPECT_THROW(connection.available(), ControlPipeCancelled);
  }
  EXPECT_TRUE(server.requests().empty());
}

// The waiting read ends when the time since connect() is used up, not the
// time since the read began.
void expectTimeoutFromConnect(std::uint32_t timeoutMs, DWORD pauseMs) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  ControlPipeConnection connection(name);
  connection.setTimeout(timeoutMs);
  const auto connected = Clock::now();
  connection.connect();
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  Sleep(pauseMs);
  std::uint8_t buffer[4];
  const ControlRequestError error = requestErrorOf([&] { connection.read(buffer, 4); });
  const long long elapsed = millisecondsSince(connected);
  EXPECT_EQ("Control pipe I/O wait failed, error code = 1460", error.getMessage());
  EXPECT_EQ(lumo::server::TimedOut, error.getKind());
  EXPECT_GE(elapsed, static_cast<long long>(timeoutMs) - 50);
  EXPECT_LT(elapsed, static_cast<long long>(timeoutMs) + 1500);
  EXPECT_THROW(connection.available(), ControlPipeCancelled);
}

TEST(ControlPipeConnectionTest, ShortTimeoutCountsFromConnect) {
  expectTimeoutFromConnect(500, 300);
}

TEST(ControlPipeConnectionTest, DefaultTimeoutIsThirtySecondsFromConnect) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  ControlPipeConnection connection(name);
  const auto connected = Clock::now();
  connection.connect();
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  Sleep(5000);
  std::uint8_t buffer[4];
  const ControlRequestError error = requestErrorOf([&] { connection.read(buffer, 4); });
  const long long elapsed = millisecondsSince(connected);
  EXPECT_EQ("Control pipe I/O wait failed, error code = 1460", error.getMessage());
  EXPECT_GE(elapsed, 29900);
  EXPECT_LT(elapsed, 32000);
}

TEST(ControlPipeConnectionTest, TheClockSurvivesTheTickCountWrapping) {
  static DWORD tick;
  const SeamOverride<ServerSeam> seam(serverSeam);
  serverSeam.getTickCount = []() -> DWORD { return tick; };
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  ControlPipeConnection connection(name);
  connection.setTimeout(1000);
  tick = 0xFFFFFF00u;
  connection.connect();
  tick = 0x00000064u;  // 356 ms later, across the wrap
  const auto start = Clock::now();
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  std::uint8_t buffer[4];
  EXPECT_EQ(1460u, requestErrorOf([&] { connection.read(buffer, 4); }).getErrorCode());
  const long long waited = millisecondsSince(start);
  EXPECT_GE(waited, 600);
  EXPECT_LT(waited, 1500);

  tick = 0xFFFFFF00u;
  reconnect(connection);
  tick = 0xFFFFFF00u + 1000u;  // exactly used up, across the wrap
  EXPECT_EQ("Control pipe request timed out, error code = 1460",
            requestErrorOf([&] { connection.write(request, 0); }).getMessage());
}

TEST(ControlPipeConnectionTest, NoTimeoutWaitsUntilCancelled) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  ControlPipeConnection connection(name);
  connection.setTimeout(ControlPipeConnection::noTimeout);
  connection.connect();
  std::thread canceller([&] {
    Sleep(300);
    connection.cancel();
  });
  std::uint8_t buffer[4];
  EXPECT_THROW(connection.read(buffer, 4), ControlPipeCancelled);
  canceller.join();
}

TEST(ControlPipeConnectionTest, CancelFromAnotherThreadEndsTheWaitingRead) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    return id == 1 ? ScriptedReply() : statusReply(id);
  });
  ControlPipeConnection connection(name);
  reconnect(connection);
  const std::uint8_t unanswered[8] = {0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(8u, connection.write(unanswered, sizeof unanswered));
  std::thread canceller([&] {
    Sleep(200);
    connection.cancel();
  });
  const auto start = Clock::now();
  std::uint8_t buffer[4];
  try {
    connection.read(buffer, 4);
    ADD_FAILURE() << "the read was not cancelled";
  } catch (const ControlPipeCancelled &error) {
    EXPECT_EQ("Control pipe I/O was cancelled", error.getMessage());
  }
  canceller.join();
  EXPECT_LT(millisecondsSince(start), 5000);
  EXPECT_THROW(connection.write(request, sizeof request), ControlPipeCancelled);

  connection.connect();
  EXPECT_EQ(5u, exchange(connection));
  EXPECT_EQ(2, server.connections());
}

TEST(ControlPipeConnectionTest, AnUnconsumedCancelDoesNotAbortTheNextExchange) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    ScriptedReply reply = statusReply(id);
    reply.oneByteAtATime = true;  // keeps the read waiting
    return reply;
  });
  ControlPipeConnection connection(name);
  connection.connect();
  connection.cancel();
  reconnect(connection);
  EXPECT_EQ(5u, exchange(connection));
}

TEST(ControlPipeConnectionTest, ExternalEventCancelsWhileItStaysSignalled) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    return id == 1 ? ScriptedReply() : statusReply(id);
  });
  UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ControlPipeConnection connection(name);
  connection.setExternalCancelEvent(stop.get());
  connection.connect();
  const std::uint8_t unanswered[8] = {0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(8u, connection.write(unanswered, sizeof unanswered));
  std::thread signaller([&] {
    Sleep(200);
    SetEvent(stop.get());
  });
  std::uint8_t buffer[4];
  EXPECT_THROW(connection.read(buffer, 4), ControlPipeCancelled);
  signaller.join();
  EXPECT_THROW(connection.connect(), ControlPipeCancelled);
  EXPECT_THROW(connection.write(request, sizeof request), ControlPipeCancelled);
  EXPECT_THROW(connection.read(buffer, 0), ControlPipeCancelled);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stop.get(), 0)) << "the event is the caller's";

  ResetEvent(stop.get());
  connection.connect();
  EXPECT_EQ(5u, exchange(connection));
}

// Replaces the wait to reach the outcomes a real wait rarely gives.
class ScriptedWaitConnection : public ControlPipeConnection {
public:
  using ControlPipeConnection::ControlPipeConnection;
  DWORD result = WAIT_OBJECT_0 + 1;
  DWORD lastError = 0;
  bool letIoFinish = false;

  DWORD waitForIo(HANDLE ioEvent) override {
    if (letIoFinish) {
      WaitForSingleObject(ioEvent, INFINITE);
    }
    SetLastError(lastError);
    return result;
  }
};

TEST(ControlPipeConnectionTest, WaitOutcomesBecomeCodedErrors) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  const struct {
    DWORD result;
    DWORD lastError;
    std::uint32_t code;
  } cases[] = {{WAIT_TIMEOUT, 0, 1460}, {WAIT_FAILED, ERROR_INVALID_HANDLE, 6}, {7, 0, 31}};
  ScriptedWaitConnection connection(name);
  for (const auto &c : cases) {
    connection.result = c.result;
    connection.lastError = c.lastError;
    reconnect(connection);
    std::uint8_t buffer[4];
    const ControlRequestError error = requestErrorOf([&] { connection.read(buffer, 4); });
    EXPECT_EQ("Control pipe I/O wait failed, error code = " + std::to_string(c.code),
              error.getMessage());
    EXPECT_THROW(connection.available(), ControlPipeCancelled);
  }
}

TEST(ControlPipeConnectionTest, IoThatFinishedBeforeTheCancellationKeepsItsData) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    ScriptedReply reply = statusReply(id);
    reply.oneByteAtATime = true;
    return reply;
  });
  ScriptedWaitConnection connection(name);
  connection.letIoFinish = true;
  connection.connect();
  EXPECT_EQ(8u, connection.write(request, sizeof request));
  // Woken as if by the caller's event, but the byte had already arrived.
  connection.result = WAIT_OBJECT_0 + 2;
  std::uint8_t byte = 0xFF;
  EXPECT_EQ(1u, connection.read(&byte, 1));
  EXPECT_EQ(0u, byte);
  // A time-out still fails the exchange even though the I/O finished.
  connection.result = WAIT_TIMEOUT;
  EXPECT_EQ(1460u, requestErrorOf([&] { connection.read(&byte, 1); }).getErrorCode());
}

TEST(ControlPipeConnectionTest, IoThatCannotBeCancelledIsEndedByClosingThePipe) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const std::vector<std::uint8_t> &) {
    return id == 1 ? ScriptedReply() : statusReply(id);
  });
  ScriptedWaitConnection connection(name);
  connection.connect();
  const std::uint8_t unanswered[8] = {0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(8u, connection.write(unanswered, sizeof unanswered));
  connection.result = WAIT_OBJECT_0;
  {
    const SeamOverride<ServerSeam> seam(serverSeam);
    serverSeam.cancelIoEx = [](HANDLE, LPOVERLAPPED) -> BOOL {
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
    };
    std::uint8_t buffer[4];
    try {
      connection.read(buffer, 4);
      ADD_FAILURE() << "the read did not fail";
    } catch (const ControlRequestError &) {
      ADD_FAILURE() << "wrong exception";
    } catch (const lumo::IOException &error) {
      EXPECT_EQ("Control pipe cancellation failed, error code = 50", error.getMessage());
    }
  }
  // The handle is gone, but nothing cancelled the connection yet.
  const ControlRequestError broken =
      requestErrorOf([&] { connection.write(request, sizeof request); });
  EXPECT_EQ("Control pipe transfer failed, error code = 6", broken.getMessage());
  connection.cancel();
  connection.result = WAIT_OBJECT_0 + 1;
  reconnect(connection);
  EXPECT_EQ(5u, exchange(connection));
}

TEST(ControlPipeConnectionTest, FailuresOfTheSystemsEventCalls) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, echoStatus);
  ControlPipeConnection connection(name);
  reconnect(connection);
  {
    const SeamOverride<ServerSeam> seam(serverSeam);
    serverSeam.setEvent = [](HANDLE) -> BOOL {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    };
    EXPECT_EQ("Cannot cancel control pipe I/O, error code = 6",
              requestErrorOf([&] { connection.cancel(); }).getMessage());
    EXPECT_THROW(connection.available(), ControlPipeCancelled);
  }
  reconnect(connection);
  std::string message;
  {
    const SeamOverride<lumo::UtilSeam> seam(lumo::utilSeam);
    lumo::utilSeam.createEvent = [](LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) -> HANDLE {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    };
    try {
      connection.write(request, sizeof request);
    } catch (const lumo::Exception &error) {
      message = error.getMessage();
    }
  }
  EXPECT_EQ("Cannot create windows event with error = 8", message);
  EXPECT_EQ(5u, exchange(connection));
}

TEST(ControlPipeConnectionTest, ManyFailedAndCancelledExchangesLeakNoHandles) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, silent);
  // Cancels itself once the read waits, as another thread would.
  class SelfCancelling : public ControlPipeConnection {
  public:
    using ControlPipeConnection::ControlPipeConnection;
    DWORD waitForIo(HANDLE ioEvent) override {
      cancel();
      return ControlPipeConnection::waitForIo(ioEvent);
    }
  };
  const auto run = [&](int rounds) {
    for (int i = 0; i < 4 * rounds; ++i) {
      ControlPipeConnection missing(name + "-absent");
      EXPECT_THROW(missing.connect(), ControlRequestError);
    }
    SelfCancelling connection(name);
    const std::size_t requestsBefore = server.requestCount();
    std::uint8_t buffer[4];
    for (int i = 0; i < rounds; ++i) {
      reconnect(connection);
      connection.write(request, sizeof request);
      // Once the request is in, the server has its next instance up.
      while (server.requestCount() < requestsBefore + i + 1) {
        Sleep(0);
      }
      EXPECT_THROW(connection.read(buffer, 4), ControlPipeCancelled);
    }
  };
  run(20);  // the server's thread and the runtime settle first
  Sleep(100);
  const std::size_t before = handleMeasure();
  run(500);
  Sleep(200);
  EXPECT_LE(handleMeasure(), before + 50);
}

}  // namespace
