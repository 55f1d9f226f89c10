#include "reference_server.h"

#include <atomic>

namespace lumo {
namespace test {

ScriptedReply statusReply(std::uint32_t status) {
  ScriptedReply reply;
  reply.bytes = {static_cast<std::uint8_t>(status >> 24), static_cast<std::uint8_t>(status >> 16),
                 static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status)};
  return reply;
}

std::string uniquePipeName() {
  static std::atomic<int> count{0};
  return "lumo-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
}

ReferenceServer::ReferenceServer(const std::string &pipeName, Script script, DWORD maxInstances)
    : path(L"\\\\.\\pipe\\" + std::wstring(pipeName.begin(), pipeName.end())),
      script(std::move(script)),
      maxInstances(maxInstances),
      stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // The first instance exists before any client can look for it.
  listening = createInstance();
  thread = std::thread([this] { run(); });
}

ReferenceServer::~ReferenceServer() {
  SetEvent(stopEvent.get());
  thread.join();
  std::unique_lock<std::mutex> hold(serving->mutex);
  serving->done.wait(hold, [this] { return serving->count == 0; });
}

std::vector<std::vector<std::uint8_t>> ReferenceServer::requests() const {
  std::lock_guard<std::mutex> hold(mutex);
  return received;
}

std::size_t ReferenceServer::requestCount() const {
  std::lock_guard<std::mutex> hold(mutex);
  return received.size();
}

int ReferenceServer::connections() const {
  std::lock_guard<std::mutex> hold(mutex);
  return accepted;
}

UniqueFileHandle ReferenceServer::createInstance() {
  return UniqueFileHandle(CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                           maxInstances, 4096, 4096, 0, nullptr));
}

bool ReferenceServer::waitFor(HANDLE pipe, OVERLAPPED *overlapped, BOOL started, DWORD *bytes) {
  if (!started && GetLastError() != ERROR_IO_PENDING) {
    return GetLastError() == ERROR_PIPE_CONNECTED;
  }
  const HANDLE handles[] = {stopEvent.get(), overlapped->hEvent};
  const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (woken != WAIT_OBJECT_0 + 1) {
    CancelIoEx(pipe, overlapped);
  }
  const BOOL ok = GetOverlappedResult(pipe, overlapped, bytes, TRUE);
  return woken == WAIT_OBJECT_0 + 1 && ok;
}

bool ReferenceServer::readExactly(HANDLE pipe, std::uint8_t *buffer, DWORD length) {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (DWORD have = 0; have < length;) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    const BOOL started = ReadFile(pipe, buffer + have, length - have, nullptr, &overlapped);
    if (!(started ? GetOverlappedResult(pipe, &overlapped, &bytes, TRUE)
                  : waitFor(pipe, &overlapped, started, &bytes)) ||
        bytes == 0) {
      return false;
    }
    have += bytes;
  }
  return true;
}

bool ReferenceServer::writeAll(HANDLE pipe, const std::uint8_t *buffer, DWORD length) {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (DWORD done = 0; done < length;) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    const BOOL started = WriteFile(pipe, buffer + done, length - done, nullptr, &overlapped);
    if (!(started ? GetOverlappedResult(pipe, &overlapped, &bytes, TRUE)
                  : waitFor(pipe, &overlapped, started, &bytes)) ||
        bytes == 0) {
      return false;
    }
    done += bytes;
  }
  return true;
}

void ReferenceServer::run() {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  while (WaitForSingleObject(stopEvent.get(), 0) == WAIT_TIMEOUT) {
    if (!listening) {
      // Every instance was busy; wait for a client to go before retrying.
      listening = createInstance();
      if (!listening) {
        WaitForSingleObject(stopEvent.get(), 10);
        continue;
      }
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    const BOOL started = ConnectNamedPipe(listening.get(), &overlapped);
    DWORD ignored = 0;
    if (!waitFor(listening.get(), &overlapped, started, &ignored)) {
      if (WaitForSingleObject(stopEvent.get(), 0) == WAIT_TIMEOUT) {
        listening.reset();  // a client came and went at once; start afresh
      }
      continue;
    }
    {
      std::lock_guard<std::mutex> hold(mutex);
      ++accepted;
    }
    {
      std::lock_guard<std::mutex> hold(serving->mutex);
      ++serving->count;
    }
    // The next client finds an instance at once.
    UniqueFileHandle client = std::move(listening);
    listening = createInstance();
    // Served apart, so that a client kept open does not block the next one;
    // detached, so that finished clients leave no thread handle behind.
    std::thread([this, state = serving, client = std::move(client)]() mutable {
      {
        const UniqueFileHandle pipe = std::move(client);
        serve(pipe.get());
      }
      // Nothing of this object is touched from here on: the destructor may
      // go on as soon as the count is down.
      std::lock_guard<std::mutex> hold(state->mutex);
      --state->count;
      state->done.notify_all();
    }).detach();
  }
}

void ReferenceServer::serve(HANDLE pipe) {
  for (;;) {
    std::uint8_t header[8];
    if (!readExactly(pipe, header, sizeof header)) {
      return;
    }
    const std::uint32_t id =
        static_cast<std::uint32_t>(header[0]) << 24 | header[1] << 16 | header[2] << 8 | header[3];
    const std::uint32_t length =
        static_cast<std::uint32_t>(header[4]) << 24 | header[5] << 16 | header[6] << 8 | header[7];
    std::vector<std::uint8_t> payload(length);
    if (length != 0 && !readExactly(pipe, payload.data(), length)) {
      return;
    }
    {
      std::vector<std::uint8_t> raw(header, header + sizeof header);
      raw.insert(raw.end(), payload.begin(), payload.end());
      std::lock_guard<std::mutex> hold(mutex);
      received.push_back(std::move(raw));
    }
    const ScriptedReply reply = script(id, payload);
    if (reply.oneByteAtATime) {
      for (const std::uint8_t byte : reply.bytes) {
        // The pause lets the client's pending read take this byte alone.
        if (WaitForSingleObject(stopEvent.get(), 30) != WAIT_TIMEOUT || !writeAll(pipe, &byte, 1)) {
          return;
        }
      }
    } else if (!reply.bytes.empty() &&
               !writeAll(pipe, reply.bytes.data(), static_cast<DWORD>(reply.bytes.size()))) {
      return;
    }
    if (reply.closeAfter) {
      return;
    }
  }
}

}  // namespace test
}  // namespace lumo
