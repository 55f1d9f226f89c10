// controlclient: sends one control request to the server and says in words
// how it went. Meant for people who operate the server and for scripts.

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "console_text.h"
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

using lumo::tools::parseUInt32;
using lumo::tools::quoted;

using lumo::server::ControlPipeCancelled;
using lumo::server::ControlPipeConnection;
using lumo::server::ControlRequestError;

const wchar_t kUsage[] =
    L"usage: controlclient [--pipe NAME] [--timeout MS] [--word VALUE]... [--bytes HEX]...\n"
    L"                     MESSAGE-ID\n"
    L"\n"
    L"Sends one control request to the server and prints the outcome. The request\n"
    L"carries MESSAGE-ID and a payload made, in the order given, of the --word and\n"
    L"--bytes values.\n"
    L"\n"
    L"  --pipe NAME     the control pipe's name, without \\\\.\\pipe\\ (default: the\n"
    L"                  service's control pipe, %ls)\n"
    L"  --timeout MS    time allowed for the whole exchange, in milliseconds, or\n"
    L"                  \"none\" (default: 30000)\n"
    L"  --word VALUE    append a 32-bit number, most significant byte first\n"
    L"  --bytes HEX     append bytes written as pairs of hex digits, e.g. 0a1b2c\n"
    L"  --help          show this text\n"
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

enum ExitCode : int {
  kAccepted = 0,
  kLocalFailure = 1,
  kBadCommandLine = 2,
  kServerStatusBase = 10,
  kInvalidStatus = 14,
};

struct Options {
  std::string pipeName;
  std::uint32_t timeoutMs = ControlPipeConnection::defaultTimeoutMs;
  std::uint32_t messageId = 0;
  // Grows as the options add to it, in their order.
  lumo::ByteArrayOutputStream payload{0};
  lumo::DataOutputStream payloadWriter{&payload};
};

int usageError(const std::wstring &problem) {
  lumo::tools::complain(L"controlclient", problem + L" (try --help)");
  return kBadCommandLine;
}

// What the program says goes to standard output, exactly as it is.
void say(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  lumo::tools::writeText(GetStdHandle(STD_OUTPUT_HANDLE), lumo::tools::wideVformat(format, args));
  va_end(args);
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

// Returns -1 to go on, or the exit code.
int parseOptions(int argc, wchar_t **argv, Options *options) {
  bool haveId = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h") {
      const std::wstring pipe =
          lumo::toUtf16(lumo::server::ServerObjectNames::instance().serviceControlPipeName);
      say(kUsage, pipe.c_str());
      return kAccepted;
    }
    if (arg.rfind(L"--", 0) != 0) {
      if (haveId) {
        return usageError(L"only one message id can be sent, " + quoted(arg) + L" is one too many");
      }
      if (!parseUInt32(arg, &options->messageId)) {
        return usageError(L"the message id must be a 32-bit number, not " + quoted(arg));
      }
      haveId = true;
      continue;
    }
    if (arg != L"--pipe" && arg != L"--timeout" && arg != L"--word" && arg != L"--bytes") {
      return usageError(L"unknown option " + quoted(arg));
    }
    if (i + 1 == argc) {
      return usageError(arg + L" needs a value");
    }
    const std::wstring value = argv[++i];
    if (arg == L"--pipe") {
      if (value.empty() || value.find_first_of(L"\\/") != std::wstring::npos) {
        return usageError(L"--pipe needs a pipe name without slashes, not " + quoted(value));
      }
      options->pipeName = lumo::toUtf8(value.c_str());
    } else if (arg == L"--timeout") {
      if (value == L"none") {
        options->timeoutMs = ControlPipeConnection::noTimeout;
      } else if (!parseUInt32(value, &options->timeoutMs) ||
                 options->timeoutMs == ControlPipeConnection::noTimeout) {
        return usageError(L"--timeout needs milliseconds or \"none\", not " + quoted(value));
      }
    } else if (arg == L"--word") {
      std::uint32_t word = 0;
      if (!parseUInt32(value, &word)) {
        return usageError(L"--word needs a 32-bit number, not " + quoted(value));
      }
      options->payloadWriter.writeUInt32(word);
    } else {
      std::vector<std::uint8_t> bytes;
      if (!parseHexBytes(value, &bytes)) {
        return usageError(L"--bytes needs pairs of hex digits, not " + quoted(value));
      }
      options->payloadWriter.writeFully(bytes.data(), bytes.size());
    }
  }
  if (!haveId) {
    return usageError(L"a message id is required");
  }
  return -1;
}

const wchar_t *kindName(lumo::server::ControlErrorKind kind) {
  switch (kind) {
    case lumo::server::PipeNotFound:
      return L"pipe not found";
    case lumo::server::TimedOut:
      return L"timed out";
    case lumo::server::Disconnected:
      return L"disconnected";
    case lumo::server::ReplyTruncated:
      return L"reply truncated";
    case lumo::server::ReplyTooLarge:
      return L"reply too large";
    case lumo::server::AccessDenied:
      return L"access denied";
    default:
      return L"other failure";
  }
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

std::wstring wide(const std::string &text) { return lumo::toUtf16(text); }

int sendRequest(const Options &options, HANDLE stop) {
  try {
    const lumo::server::ControlStatus reply = lumo::server::sendControlRequest(
        options.pipeName, options.messageId, options.payload.getBuffer(), options.payload.getSize(),
        options.timeoutMs, stop);
    if (reply.status < 0) {
      say(L"invalid status from the server: %ls\n", wide(reply.text).c_str());
      return kInvalidStatus;
    }
    if (reply.status != 0) {
      say(L"the server reported error status %d: %ls\n", static_cast<int>(reply.status),
          wide(reply.text).c_str());
      return kServerStatusBase + reply.status;
    }
    say(L"the server accepted request %lu\n", static_cast<unsigned long>(options.messageId));
    return kAccepted;
  } catch (const ControlRequestError &error) {
    say(L"local failure: %ls (%ls, Windows error %lu)\n", wide(error.getMessage()).c_str(),
        kindName(error.getKind()), static_cast<unsigned long>(error.getErrorCode()));
  } catch (const ControlPipeCancelled &error) {
    say(L"local failure: %ls\n", wide(error.getMessage()).c_str());
  } catch (const lumo::Exception &error) {
    say(L"local failure: %ls\n", wide(error.getMessage()).c_str());
  } catch (const std::exception &error) {
    say(L"local failure: %ls\n", wide(error.what()).c_str());
  }
  return kLocalFailure;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  const int code = parseOptions(argc, argv, &options);
  if (code >= 0) {
    return code;
  }
  try {
    if (options.pipeName.empty()) {
      options.pipeName = lumo::server::ServerObjectNames::instance().serviceControlPipeName;
    }
  } catch (const std::exception &error) {
    say(L"local failure: %ls\n", wide(error.what()).c_str());
    return kLocalFailure;
  }
  // Without the event Ctrl+C keeps its default: it ends the program.
  const lumo::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stop) {
    stopEvent = stop.get();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
  }
  const int outcome = sendRequest(options, stop.get());
  stopEvent = nullptr;
  return outcome;
}
