// controlclient: sends one control request to the server and says in words
// how it went. Meant for people who operate the server and for scripts.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "command_line.h"
#include "diagnostics.h"
#include "option_table.h"
#include "text_output.h"
#include "server/control_command.h"
#include "server/control_errors.h"
#include "server/control_pipe_connection.h"
#include "server/server_object_names.h"
#include "util/byte_array_output_stream.h"
#include "util/data_stream.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"

namespace {

using lumo::tools::formatText;
using lumo::tools::OptionTable;
using lumo::tools::parseUInt32;
using lumo::tools::Problem;
using lumo::tools::quoted;
using lumo::tools::TakeValue;

using lumo::server::ControlPipeConnection;
using lumo::server::ControlRequestError;

const lumo::tools::Diagnostics diagnostics(L"controlclient");

const wchar_t kHead[] =
    L"usage: controlclient [--pipe NAME] [--timeout MS] [--word VALUE]... [--bytes HEX]...\n"
    L"                     MESSAGE-ID\n"
    L"\n"
    L"Sends one control request to the server and prints the outcome. The request\n"
    L"carries MESSAGE-ID and a payload made, in the order given, of the --word and\n"
    L"--bytes values.\n"
    L"\n";
const wchar_t kTail[] =
    L"\n"
    L"Numbers are decimal, or hexadecimal with a 0x prefix. Ctrl+C cancels a\n"
    L"request that is waiting for the server.\n"
    L"\n"
    L"Exit codes:\n"
    L"  0       the server accepted the request (status 0)\n"
    L"  1       local failure: no server, all pipe instances busy, time-out,\n"
    L"          cancellation, broken pipe or a reply cut short\n"
    L"  2       bad command line\n"
    L"  11-13   the server reported error status 1, 2 or 3\n"
    L"  14      the server's reply carried a status that is not valid\n";
const std::size_t kHelpColumn = 18;

enum ExitCode : int {
  kAccepted = 0,
  kLocalFailure = 1,
  kServerStatusBase = 10,
  kInvalidStatus = 14,
};

struct Options {
  std::string pipeName;
  std::uint32_t timeoutMs = ControlPipeConnection::defaultTimeoutMs;
  std::uint32_t messageId = 0;
  bool haveId = false;
  // Grows as the options add to it, in their order.
  lumo::ByteArrayOutputStream payload{0};
  lumo::DataOutputStream payloadWriter{&payload};
};

// What the program says goes to standard output, exactly as it is.
void say(const std::wstring &text) {
  lumo::tools::writeText(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

bool parseHexBytes(const std::wstring &text, std::vector<std::uint8_t> *bytes) {
  if (text.empty() || text.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); i += 2) {
    std::uint32_t value = 0;
    if (!parseUInt32(L"0x" + text.substr(i, 2), &value)) {
      return false;
    }
    bytes->push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

TakeValue messageIdValue(Options *options) {
  return [options](const std::wstring &, const std::wstring &word) {
    if (options->haveId) {
      return Problem(L"only one message id can be sent, " + quoted(word) + L" is one too many");
    }
    if (!parseUInt32(word, &options->messageId)) {
      return Problem(L"the message id must be a 32-bit number, not " + quoted(word));
    }
    options->haveId = true;
    return Problem();
  };
}

TakeValue pipeValue(Options *options) {
  return [options](const std::wstring &name, const std::wstring &value) {
    if (value.empty() || value.find_first_of(L"\\/") != std::wstring::npos) {
      return Problem(name + L" needs a pipe name without slashes, not " + quoted(value));
    }
    options->pipeName = lumo::toUtf8(value.c_str());
    return Problem();
  };
}

TakeValue timeoutValue(Options *options) {
  return [options](const std::wstring &name, const std::wstring &value) {
    if (value == L"none") {
      options->timeoutMs = ControlPipeConnection::noTimeout;
    } else if (!parseUInt32(value, &options->timeoutMs) ||
               options->timeoutMs == ControlPipeConnection::noTimeout) {
      return Problem(name + L" needs milliseconds or \"none\", not " + quoted(value));
    }
    return Problem();
  };
}

TakeValue wordValue(Options *options) {
  return [options](const std::wstring &name, const std::wstring &value) {
    std::uint32_t word = 0;
    if (!parseUInt32(value, &word)) {
      return Problem(name + L" needs a 32-bit number, not " + quoted(value));
    }
    options->payloadWriter.writeUInt32(word);
    return Problem();
  };
}

TakeValue bytesValue(Options *options) {
  return [options](const std::wstring &name, const std::wstring &value) {
    std::vector<std::uint8_t> bytes;
    if (!parseHexBytes(value, &bytes)) {
      return Problem(name + L" needs pairs of hex digits, not " + quoted(value));
    }
    options->payloadWriter.writeFully(bytes.data(), bytes.size());
    return Problem();
  };
}

OptionTable optionTable(Options *options) {
  const std::wstring pipe =
      lumo::toUtf16(lumo::server::ServerObjectNames::instance().serviceControlPipeName);
  OptionTable table(kHead, kHelpColumn, kTail);
  table
      .option(L"--pipe", L"NAME",
              (L"the control pipe's name, without \\\\.\\pipe\\ (default: the\n"
               L"service's control pipe, " +
               pipe + L")")
                  .c_str(),
              pipeValue(options))
      .option(L"--timeout", L"MS",
              L"time allowed for the whole exchange, in milliseconds, or\n"
              L"\"none\" (default: 30000)",
              timeoutValue(options))
      .option(L"--word", L"VALUE", L"append a 32-bit number, most significant byte first",
              wordValue(options))
      .option(L"--bytes", L"HEX", L"append bytes written as pairs of hex digits, e.g. 0a1b2c",
              bytesValue(options))
      .help()
      .operands(messageIdValue(options));
  return table;
}

// Returns OptionTable::kGoOn to go on, or the exit code.
int readOptions(int argc, wchar_t **argv, Options *options) {
  const int code = optionTable(options).read(argc, argv, diagnostics);
  if (code == OptionTable::kGoOn && !options->haveId) {
    return diagnostics.usageError(L"a message id is required");
  }
  return code;
}

const char *kindName(lumo::server::ControlErrorKind kind) {
  static const std::pair<lumo::server::ControlErrorKind, const char *> names[] = {
      {lumo::server::PipeNotFound, "pipe not found"},
      {lumo::server::TimedOut, "timed out"},
      {lumo::server::Disconnected, "disconnected"},
      {lumo::server::ReplyTruncated, "reply truncated"},
      {lumo::server::ReplyTooLarge, "reply too large"},
      {lumo::server::AccessDenied, "access denied"},
  };
  for (const auto &entry : names) {
    if (entry.first == kind) {
      return entry.second;
    }
  }
  return "other failure";
}

// Ctrl+C signals it; the exchange is cancelled while it is signalled.
std::atomic<HANDLE> stopEvent{nullptr};

BOOL WINAPI onConsoleControl(DWORD) {
  if (const HANDLE event = stopEvent.load()) {
    // Should this fail, the time-out still ends the wait.
    SetEvent(event);
  }
  return TRUE;
}

std::wstring localFailure(const std::string &what) {
  return formatText("local failure: %s\n", what.c_str());
}

int sendRequest(const Options &options, HANDLE stop) {
  try {
    const lumo::server::ControlStatus reply = lumo::server::sendControlRequest(
        options.pipeName, options.messageId, options.payload.getBuffer(), options.payload.getSize(),
        options.timeoutMs, stop);
    if (reply.status < 0) {
      say(formatText("invalid status from the server: %s\n", reply.text.c_str()));
      return kInvalidStatus;
    }
    if (reply.status != 0) {
      say(formatText("the server reported error status %d: %s\n", static_cast<int>(reply.status),
                     reply.text.c_str()));
      return kServerStatusBase + reply.status;
    }
    say(formatText("the server accepted request %lu\n",
                   static_cast<unsigned long>(options.messageId)));
    return kAccepted;
  } catch (const ControlRequestError &error) {
    say(formatText("local failure: %s (%s, Windows error %lu)\n", error.getMessage().c_str(),
                   kindName(error.getKind()), static_cast<unsigned long>(error.getErrorCode())));
  } catch (const lumo::Exception &error) {
    say(localFailure(error.getMessage()));
  } catch (const std::exception &error) {
    say(localFailure(error.what()));
  }
  return kLocalFailure;
}

// The request, which Ctrl+C cancels while it waits for the server.
int run(Options *options) {
  try {
    if (options->pipeName.empty()) {
      options->pipeName = lumo::server::ServerObjectNames::instance().serviceControlPipeName;
    }
  } catch (const std::exception &error) {
    say(localFailure(error.what()));
    return kLocalFailure;
  }
  // Without the event Ctrl+C keeps its default: it ends the program.
  const lumo::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stop) {
    stopEvent = stop.get();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
  }
  const int outcome = sendRequest(*options, stop.get());
  stopEvent = nullptr;
  return outcome;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  const int code = readOptions(argc, argv, &options);
  return code == OptionTable::kGoOn ? run(&options) : code;
}
