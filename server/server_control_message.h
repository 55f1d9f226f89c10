#pragma once

#include <cstdint>
#include <memory>

// Programs that include only this header keep reaching the one-shot command
// and the status texts, which have files of their own.
#include "server/control_command.h"
#include "server/control_gate.h"
#include "server/program_string_resource.h"
#include "server/remote_exception.h"
#include "util/byte_array_output_stream.h"
#include "util/data_stream.h"
#include "util/stream.h"

namespace lumo {
namespace server {

// One control request and its reply. Writes into the message collect the
// payload; send() puts id, payload length and payload on the pipe and reads
// the reply's status.
class ServerControlMessage : public DataOutputStream {
public:
  static constexpr std::uint64_t replyLimit = 65536;
  static constexpr std::uint64_t initialPayloadCapacity = 2048;
  // Reply statuses: accepted, and the server's error statuses; every other
  // value means nothing.
  static constexpr std::uint32_t acceptedStatus = 0;
  static constexpr std::uint32_t firstErrorStatus = 1;
  static constexpr std::uint32_t lastErrorStatus = 3;
  // What getStatus() gives before a reply and after one that means nothing.
  static constexpr std::int32_t noValidStatus = -1;
  // Status texts: string resources of the running program, by status.
  static constexpr unsigned firstStatusTextId = 726;
  static constexpr unsigned invalidStatusTextId = 729;

  // The connection must be connected already; neither is owned.
  ServerControlMessage(ControlGate *gate, Channel *connection, std::uint32_t messageId);
  ServerControlMessage(const ServerControlMessage &) = delete;
  ServerControlMessage &operator=(const ServerControlMessage &) = delete;
  ~ServerControlMessage() override;

  // Returns on status 0; status 1 to 3 throws RemoteException and leaves the
  // connection usable; any other outcome cancels the connection and throws.
  virtual void send();

  // The status of the last reply if it was 0 to 3, otherwise -1.
  std::int32_t getStatus() const { return status; }
  // Bytes of the current reply read so far, the status included.
  std::uint64_t getReplyBytesRead() const { return replyBytesRead; }

  // The next big-endian 32-bit field of the reply, within the reply limit.
  std::uint32_t readReplyUInt32();

private:
  void cancelQuietly();

  ControlGate *gate;
  Channel *connection;
  std::unique_ptr<ByteArrayOutputStream> payload;
  std::uint32_t messageId;
  std::uint64_t replyBudget = replyLimit;
  std::uint64_t replyBytesRead = 0;
  std::int32_t status = noValidStatus;
};

}  // namespace server
}  // namespace lumo
