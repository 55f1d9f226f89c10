#include "server/server_control_message.h"

#include "server/control_errors.h"
#include "server/program_string_resource.h"

namespace lumo {
namespace server {

ServerControlMessage::ServerControlMessage(ControlGate *gate, Channel *connection,
                                           std::uint32_t messageId)
    : DataOutputStream(nullptr),
      gate(gate),
      connection(connection),
      payload(new ByteArrayOutputStream(initialPayloadCapacity)),
      messageId(messageId) {
  sink = payload.get();
}

ServerControlMessage::~ServerControlMessage() = default;

void ServerControlMessage::cancelQuietly() {
  try {
    connection->cancel();
  } catch (...) {
    // The original failure is what the caller needs to see.
  }
}

void ServerControlMessage::send() {
  replyBudget = replyLimit;
  replyBytesRead = 0;
  status = noValidStatus;
  std::uint32_t replyStatus = 0;
  try {
    const std::uint32_t size = static_cast<std::uint32_t>(payload->getSize());
    gate->writeUInt32(messageId);
    gate->writeUInt32(size);
    gate->writeFully(payload->getBuffer(), size);
    replyStatus = readReplyUInt32();
  } catch (...) {
    cancelQuietly();
    throw;
  }
  if (replyStatus <= lastErrorStatus) {
    status = static_cast<std::int32_t>(replyStatus);
  }
  if (replyStatus == acceptedStatus) {
    return;
  }
  if (replyStatus <= lastErrorStatus) {
    throw RemoteException(
        programStringResource(firstStatusTextId + (replyStatus - firstErrorStatus)));
  }
  // After a status that means nothing the rest of the stream cannot be trusted.
  cancelQuietly();
  throw RemoteException(programStringResource(invalidStatusTextId));
}

std::uint32_t ServerControlMessage::readReplyUInt32() {
  std::uint8_t bytes[4];
  try {
    if (replyBudget < sizeof bytes) {
      throw ControlRequestError(ReplyTooLarge, "Control reply exceeds size limit", 0);
    }
    replyBudget -= sizeof bytes;
    std::uint64_t have = 0;
    while (have < sizeof bytes) {
      const std::uint64_t got = gate->read(bytes + have, sizeof bytes - have);
      if (got == 0) {
        throw ControlRequestError(replyBytesRead != 0 ? ReplyTruncated : Disconnected,
                                  "Control reply ended before the requested field", 0);
      }
      have += got;
      replyBytesRead += got;
    }
  } catch (...) {
    cancelQuietly();
    throw;
  }
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

}  // namespace server
}  // namespace lumo
