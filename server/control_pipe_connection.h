#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "server/transport.h"
#include "util/stream.h"
#include "util/unique_handle.h"
#include "util/windows_event.h"

namespace lumo {
namespace server {

// The client end of a server's control pipe: a byte stream in both
// directions whose every transfer can be ended by cancel() from another
// thread, by the caller's cancellation event, or by the time allowed for the
// whole exchange.
class ControlPipeConnection : public Transport, public Channel {
public:
  static constexpr std::uint32_t noTimeout = 0xFFFFFFFF;
  static constexpr std::uint32_t noSizeLimit = 0;
  static constexpr std::uint32_t defaultTimeoutMs = 30000;
  static constexpr std::uint32_t defaultMaxTransferSize = 65536;

  // The name without the "\\.\pipe\" prefix; an empty one throws
  // IOException. Does not open the pipe.
  explicit ControlPipeConnection(const std::string &pipeName);
  ControlPipeConnection(const ControlPipeConnection &) = delete;
  ControlPipeConnection &operator=(const ControlPipeConnection &) = delete;
  ~ControlPipeConnection() override;

  // Opens the pipe if it is not open or was cancelled, and starts a new
  // exchange with the full time allowance.
  void connect();

  Channel *getChannel() override { return this; }
  Channel *getSideChannel() override { return nullptr; }
  void cancel() override;

  // At most one pipe operation of at most the transfer size each; read
  // returns 0 at the end of the stream.
  std::uint64_t read(void *buffer, std::uint64_t length) override;
  std::uint32_t available() override;
  std::uint64_t write(const void *buffer, std::uint64_t length) override;

  // Waits for the transfer's event, a cancellation or the end of the
  // exchange time; gives WaitForMultipleObjects' result: 0 cancel(), 1 the
  // I/O, 2 the caller's event.
  virtual DWORD waitForIo(HANDLE ioEvent);

  // noTimeout waits without limit.
  void setTimeout(std::uint32_t milliseconds) { timeoutMs = milliseconds; }
  // noSizeLimit lets a call move any length.
  void setMaxTransferSize(std::uint32_t bytes) { maxTransferSize = bytes; }
  // The caller keeps the event and must keep it open while it is set here;
  // while it is signalled every connect() and transfer is cancelled.
  void setExternalCancelEvent(HANDLE event) { externalCancelEvent = event; }

private:
  enum class Direction { Read, Write };
  // What one pipe operation came to: its Windows error, 0 for none, and the
  // bytes it moved.
  struct IoResult {
    DWORD error;
    DWORD bytes;
  };

  std::uint64_t transfer(void *buffer, std::uint64_t length, Direction direction);
  // The steps of a transfer.
  void refuseIfEnded();
  DWORD chunkFor(std::uint64_t length) const;
  // ERROR_IO_PENDING in the result: the I/O runs on.
  IoResult startIo(void *buffer, DWORD chunk, Direction direction, OVERLAPPED *overlapped);
  // Waits for the running I/O; throws when the wait ends otherwise, after
  // the I/O has ended.
  IoResult awaitIo(OVERLAPPED *overlapped);
  // Whether the system took the cancellation; false when the I/O had
  // finished. Closes the pipe and throws when the I/O cannot be cancelled.
  bool cancelIo(OVERLAPPED *overlapped);
  // Waits for the I/O to end.
  IoResult finishedIo(OVERLAPPED *overlapped);
  static std::uint64_t classify(const IoResult &result, Direction direction);
  bool isCancelled();
  bool externalCancelSignalled() const;
  std::uint32_t elapsedMs() const;

  UniqueFileHandle pipe;
  std::uint32_t maxTransferSize = defaultMaxTransferSize;
  WindowsEvent cancelEvent;
  std::atomic<std::int32_t> cancelled{1};
  std::uint32_t timeoutMs = defaultTimeoutMs;
  std::uint32_t startTick;
  HANDLE externalCancelEvent = nullptr;
  std::string pipeName;
};

}  // namespace server
}  // namespace lumo
