#include "server/control_pipe_connection.h"

#include "server/control_errors.h"
#include "server/platform_seam.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {
namespace server {

namespace {

// The server may identify the client but never act as it.
constexpr DWORD openFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
static_assert(openFlags == 0x40110000, "the control pipe's open flags");

}  // namespace

ControlPipeConnection::ControlPipeConnection(const std::string &pipeName)
    : startTick(serverSeam.getTickCount()), pipeName(pipeName) {
  if (pipeName.empty()) {
    throw IOException("A control pipe name is required");
  }
}

ControlPipeConnection::~ControlPipeConnection() = default;

bool ControlPipeConnection::isCancelled() {
  // Only reads: swaps 0 for 0.
  std::int32_t expected = 0;
  return !cancelled.compare_exchange_strong(expected, 0);
}

bool ControlPipeConnection::externalCancelSignalled() const {
  return externalCancelEvent != nullptr &&
         WaitForSingleObject(externalCancelEvent, 0) == WAIT_OBJECT_0;
}

// Unsigned 32-bit subtraction, so the tick count's wrap after 49.7 days
// costs nothing.
std::uint32_t ControlPipeConnection::elapsedMs() const {
  return static_cast<std::uint32_t>(serverSeam.getTickCount() - startTick);
}

void ControlPipeConnection::connect() {
  if (externalCancelSignalled()) {
    throw ControlPipeCancelled();
  }
  if (!pipeName.empty() && isCancelled()) {
    pipe.reset();
    const std::wstring path = toUtf16("\\\\.\\pipe\\" + pipeName);
    // No wait for a busy pipe and no retry: the caller decides whether to
    // try again.
    UniqueFileHandle candidate(serverSeam.createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                     0, nullptr, OPEN_EXISTING, openFlags, nullptr));
    if (!candidate) {
      throw ControlRequestError(GetLastError(), "Cannot open control pipe");
    }
    DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
    // A signal from an earlier cancel() must not abort the new exchange.
    if (!serverSeam.setNamedPipeHandleState(candidate.get(), &mode, nullptr, nullptr) ||
        !serverSeam.resetEvent(cancelEvent.getHandle())) {
      const DWORD code = GetLastError();
      candidate.reset();
      throw ControlRequestError(code, "Cannot prepare control pipe");
    }
    pipe = std::move(candidate);
    cancelled.exchange(0);
  }
  startTick = serverSeam.getTickCount();
}

void ControlPipeConnection::cancel() {
  cancelled.exchange(1);
  if (!serverSeam.setEvent(cancelEvent.getHandle())) {
    throw ControlRequestError(GetLastError(), "Cannot cancel control pipe I/O");
  }
}

std::uint32_t ControlPipeConnection::available() {
  if (isCancelled()) {
    throw ControlPipeCancelled();
  }
  DWORD total = 0;
  if (!PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &total, nullptr)) {
    throw ControlRequestError(GetLastError(), "PeekNamedPipe failed");
  }
  return total;
}

DWORD ControlPipeConnection::waitForIo(HANDLE ioEvent) {
  const HANDLE handles[3] = {cancelEvent.getHandle(), ioEvent, externalCancelEvent};
  const DWORD count = externalCancelEvent != nullptr ? 3 : 2;
  DWORD wait = INFINITE;
  if (timeoutMs != noTimeout) {
    const std::uint32_t elapsed = elapsedMs();
    wait = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
  }
  return WaitForMultipleObjects(count, handles, FALSE, wait);
}

std::uint64_t ControlPipeConnection::read(void *buffer, std::uint64_t length) {
  return transfer(buffer, length, Direction::Read);
}

std::uint64_t ControlPipeConnection::write(const void *buffer, std::uint64_t length) {
  // The write direction only reads from the buffer.
  return transfer(const_cast<void *>(buffer), length, Direction::Write);
}

std::uint64_t ControlPipeConnection::transfer(void *buffer, std::uint64_t length,
                                              Direction direction) {
  if (isCancelled() || externalCancelSignalled()) {
    throw ControlPipeCancelled();
  }
  if (timeoutMs != noTimeout && elapsedMs() >= timeoutMs) {
    cancel();
    throw ControlRequestError(ERROR_TIMEOUT, "Control pipe request timed out");
  }
  if (length == 0) {
    return 0;
  }
  DWORD chunk = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(length);
  if (maxTransferSize != noSizeLimit && chunk > maxTransferSize) {
    chunk = maxTransferSize;
  }

  // One event per transfer: a completion left over from an earlier transfer
  // can never be mistaken for this one's.
  WindowsEvent ioEvent;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent.getHandle();
  DWORD bytes = 0;
  DWORD error = 0;
  const BOOL done = direction == Direction::Read
                        ? ReadFile(pipe.get(), buffer, chunk, &bytes, &overlapped)
                        : WriteFile(pipe.get(), buffer, chunk, &bytes, &overlapped);
  if (!done) {
    error = GetLastError();
  }
  if (!done && error == ERROR_IO_PENDING) {
    error = 0;
    const DWORD woken = waitForIo(ioEvent.getHandle());
    if (woken == WAIT_OBJECT_0 + 1) {
      if (!GetOverlappedResult(pipe.get(), &overlapped, &bytes, TRUE)) {
        error = GetLastError();
      }
    } else {
      DWORD waitError = 31;  // ERROR_GEN_FAILURE: woken for no known reason
      if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 2) {
        waitError = 0;
      } else if (woken == WAIT_TIMEOUT) {
        waitError = ERROR_TIMEOUT;
      } else if (woken == WAIT_FAILED) {
        waitError = GetLastError();
      }
      // The system must be done with the buffer and the OVERLAPPED before
      // this call returns, however the wait ended.
      const bool cancelRequested = serverSeam.cancelIoEx(pipe.get(), &overlapped) != FALSE;
      if (!cancelRequested) {
        DWORD code = GetLastError();
        if (code != ERROR_NOT_FOUND) {
          // Closing the handle ends the I/O when nothing else can.
          pipe.reset();
          if (WaitForSingleObject(ioEvent.getHandle(), INFINITE) == WAIT_FAILED) {
            code = GetLastError();
          }
          throw IOException(format("Control pipe cancellation failed, error code = %lu",
                                   static_cast<unsigned long>(code)));
        }
      }
      if (!GetOverlappedResult(pipe.get(), &overlapped, &bytes, TRUE)) {
        error = GetLastError();
      }
      if (waitError != 0) {
        cancel();
        throw ControlRequestError(waitError, "Control pipe I/O wait failed");
      }
      if (cancelRequested && error == ERROR_OPERATION_ABORTED) {
        throw ControlPipeCancelled();
      }
    }
  }

  if (direction == Direction::Read &&
      (error == ERROR_BROKEN_PIPE || (error == 0 && bytes == 0))) {
    return 0;
  }
  if (error != 0 || bytes == 0) {
    throw ControlRequestError(error != 0 ? error : ERROR_BROKEN_PIPE,
                              "Control pipe transfer failed");
  }
  return bytes;
}

}  // namespace server
}  // namespace lumo
