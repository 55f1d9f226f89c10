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

// The most one pipe operation can move: its count is a DWORD.
constexpr DWORD largestChunk = MAXDWORD;

// What waitForIo gives for each of its handles, in their order.
constexpr DWORD cancelWoken = WAIT_OBJECT_0;
constexpr DWORD ioWoken = WAIT_OBJECT_0 + 1;
constexpr DWORD externalCancelWoken = WAIT_OBJECT_0 + 2;

// The error for a wait that did not see the I/O finish; 0 when a
// cancellation woke it. Reads the wait's own error, so it comes straight
// after the wait.
DWORD waitFailureOf(DWORD woken) {
  if (woken == cancelWoken || woken == externalCancelWoken) {
    return 0;
  }
  if (woken == WAIT_TIMEOUT) {
    return ERROR_TIMEOUT;
  }
  if (woken == WAIT_FAILED) {
    return GetLastError();
  }
  // Woken for no known reason.
  return ERROR_GEN_FAILURE;
}

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
    UniqueFileHandle candidate(serverSeam.createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                     nullptr, OPEN_EXISTING, openFlags, nullptr));
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

// A transfer in the steps of overlapped I/O: start it, wait for it until the
// exchange's deadline, cancel and drain it when the wait ended otherwise,
// and classify what it came to.
std::uint64_t ControlPipeConnection::transfer(void *buffer, std::uint64_t length,
                                              Direction direction) {
  refuseIfEnded();
  if (length == 0) {
    return 0;
  }
  // One event per transfer: a completion left over from an earlier transfer
  // can never be mistaken for this one's.
  WindowsEvent ioEvent;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent.getHandle();
  IoResult result = startIo(buffer, chunkFor(length), direction, &overlapped);
  if (result.error == ERROR_IO_PENDING) {
    result = awaitIo(&overlapped);
  }
  return classify(result, direction);
}

// A cancelled exchange, and one whose time is up, start no I/O.
void ControlPipeConnection::refuseIfEnded() {
  if (isCancelled() || externalCancelSignalled()) {
    throw ControlPipeCancelled();
  }
  if (timeoutMs != noTimeout && elapsedMs() >= timeoutMs) {
    cancel();
    throw ControlRequestError(ERROR_TIMEOUT, "Control pipe request timed out");
  }
}

DWORD ControlPipeConnection::chunkFor(std::uint64_t length) const {
  DWORD chunk = length > largestChunk ? largestChunk : static_cast<DWORD>(length);
  if (maxTransferSize != noSizeLimit && chunk > maxTransferSize) {
    chunk = maxTransferSize;
  }
  return chunk;
}

ControlPipeConnection::IoResult ControlPipeConnection::startIo(void *buffer, DWORD chunk,
                                                               Direction direction,
                                                               OVERLAPPED *overlapped) {
  DWORD bytes = 0;
  const BOOL done = direction == Direction::Read
                        ? ReadFile(pipe.get(), buffer, chunk, &bytes, overlapped)
                        : WriteFile(pipe.get(), buffer, chunk, &bytes, overlapped);
  const DWORD error = done ? 0 : GetLastError();
  return {error, bytes};
}

ControlPipeConnection::IoResult ControlPipeConnection::awaitIo(OVERLAPPED *overlapped) {
  const DWORD woken = waitForIo(overlapped->hEvent);
  if (woken == ioWoken) {
    return finishedIo(overlapped);
  }
  const DWORD waitFailure = waitFailureOf(woken);
  // The system must be done with the buffer and the OVERLAPPED before the
  // transfer returns, however the wait ended.
  const bool cancelTaken = cancelIo(overlapped);
  const IoResult drained = finishedIo(overlapped);
  if (waitFailure != 0) {
    cancel();
    throw ControlRequestError(waitFailure, "Control pipe I/O wait failed");
  }
  if (cancelTaken && drained.error == ERROR_OPERATION_ABORTED) {
    throw ControlPipeCancelled();
  }
  // The I/O finished before the cancellation could take effect.
  return drained;
}

bool ControlPipeConnection::cancelIo(OVERLAPPED *overlapped) {
  if (serverSeam.cancelIoEx(pipe.get(), overlapped)) {
    return true;
  }
  DWORD code = GetLastError();
  // Nothing left to cancel: the I/O had finished already.
  if (code == ERROR_NOT_FOUND) {
    return false;
  }
  // Closing the handle ends the I/O when nothing else can.
  pipe.reset();
  if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) {
    code = GetLastError();
  }
  throw IOException(format("Control pipe cancellation failed, error code = %lu",
                           static_cast<unsigned long>(code)));
}

ControlPipeConnection::IoResult ControlPipeConnection::finishedIo(OVERLAPPED *overlapped) {
  DWORD bytes = 0;
  const BOOL ended = GetOverlappedResult(pipe.get(), overlapped, &bytes, TRUE);
  const DWORD error = ended ? 0 : GetLastError();
  return {error, bytes};
}

std::uint64_t ControlPipeConnection::classify(const IoResult &result, Direction direction) {
  if (direction == Direction::Read &&
      (result.error == ERROR_BROKEN_PIPE || (result.error == 0 && result.bytes == 0))) {
    return 0;
  }
  // A write that moved nothing counts as a broken pipe.
  if (result.error != 0 || result.bytes == 0) {
    throw ControlRequestError(result.error != 0 ? result.error : ERROR_BROKEN_PIPE,
                              "Control pipe transfer failed");
  }
  return result.bytes;
}

}  // namespace server
}  // namespace lumo
