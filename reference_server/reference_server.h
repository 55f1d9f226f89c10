#pragma once

// The server end of a control pipe, run on threads of the test program, one
// per client. It reads each request as id, payload length and payload, keeps what it read,
// and answers as the test's script says.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "util/unique_handle.h"

namespace lumo {
namespace test {

struct ScriptedReply {
  std::vector<std::uint8_t> bytes;  // empty: the request is never answered
  bool oneByteAtATime = false;      // each byte its own write, with a pause
  bool closeAfter = false;          // close the pipe once the bytes are out
};

// A reply holding only the big-endian status.
ScriptedReply statusReply(std::uint32_t status);

class ReferenceServer {
public:
  using Script = std::function<ScriptedReply(std::uint32_t messageId,
                                             const std::vector<std::uint8_t> &payload)>;

  // Listening when the constructor returns.
  ReferenceServer(const std::string &pipeName, Script script,
                  DWORD maxInstances = PIPE_UNLIMITED_INSTANCES);
  ReferenceServer(const ReferenceServer &) = delete;
  ReferenceServer &operator=(const ReferenceServer &) = delete;
  ~ReferenceServer();

  // Every complete request so far, as the bytes that came off the pipe.
  std::vector<std::vector<std::uint8_t>> requests() const;
  std::size_t requestCount() const;
  int connections() const;

private:
  void run();
  void serve(HANDLE pipe);
  UniqueFileHandle createInstance();
  // Ends false when the test stops the server or the client went away.
  bool waitFor(HANDLE pipe, OVERLAPPED *overlapped, BOOL started, DWORD *bytes);
  bool readExactly(HANDLE pipe, std::uint8_t *buffer, DWORD length);
  bool writeAll(HANDLE pipe, const std::uint8_t *buffer, DWORD length);

  std::wstring path;
  Script script;
  DWORD maxInstances;
  UniqueHandle stopEvent;
  UniqueFileHandle listening;
  mutable std::mutex mutex;
  std::vector<std::vector<std::uint8_t>> received;
  int accepted = 0;
  // The clients still being served. Each serving thread holds its own
  // reference: its last unlock may still touch the mutex after the
  // destructor has seen the count reach zero and gone on.
  struct Serving {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
  };
  std::shared_ptr<Serving> serving = std::make_shared<Serving>();
  std::thread thread;
};

// A pipe name no other test or program uses.
std::string uniquePipeName();

}  // namespace test
}  // namespace lumo
