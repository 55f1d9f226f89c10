// Control exchange: runControlCommand round trips per second against the
// reference server, beside two baselines: the floor, which makes the calls
// the exchange's definition demands, bare and in the same order, and a raw
// client that opens the same pipe and moves the same bytes with plain
// WriteFile and ReadFile.
//   control_bench          the comparison
//   control_bench --calls  the floor timed call by call

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "measure.h"
#include "reference_server.h"
#include "server/control_command.h"
#include "util/unique_handle.h"

namespace {

volatile bool failed = false;

// The request with no payload: the message id and a zero length, then the
// 4-byte status back.
void rawExchange(const std::wstring &path) {
  const lumo::UniqueFileHandle pipe(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (!pipe) {
    failed = true;
    return;
  }
  const std::uint8_t request[8] = {0, 0, 0, 1, 0, 0, 0, 0};
  std::uint8_t reply[4];
  DWORD moved = 0;
  if (!WriteFile(pipe.get(), request, sizeof request, &moved, nullptr) ||
      !ReadFile(pipe.get(), reply, sizeof reply, &moved, nullptr) || moved != sizeof reply) {
    failed = true;
  }
}

// One overlapped transfer as the connection makes it: the deadline read
// from the clock, an event of its own, the I/O, and when it is pending, the
// wait on the cancellation and the I/O and the result.
template <typename Time>
void floorTransfer(Time &time, HANDLE pipe, HANDLE cancelEvent, void *buffer, DWORD length,
                   bool reading) {
  time("GetTickCount (deadline)", [] { return GetTickCount(); });
  const HANDLE event =
      time("CreateEventW (transfer)", [] { return CreateEventW(nullptr, FALSE, FALSE, nullptr); });
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  DWORD moved = 0;
  DWORD error = ERROR_SUCCESS;
  const auto started = [&](BOOL done) {
    error = done ? ERROR_SUCCESS : GetLastError();
    return done;
  };
  const BOOL done =
      reading ? time("ReadFile",
                     [&] { return started(ReadFile(pipe, buffer, length, &moved, &overlapped)); })
              : time("WriteFile",
                     [&] { return started(WriteFile(pipe, buffer, length, &moved, &overlapped)); });
  if (error == ERROR_IO_PENDING) {
    time("GetTickCount (wait)", [] { return GetTickCount(); });
    const HANDLE handles[2] = {cancelEvent, event};
    if (time("WaitForMultipleObjects", [&] {
          return WaitForMultipleObjects(2, handles, FALSE, 30000);
        }) != WAIT_OBJECT_0 + 1) {
      failed = true;
    }
    time("GetOverlappedResult",
         [&] { return GetOverlappedResult(pipe, &overlapped, &moved, TRUE); });
  } else if (!done) {
    failed = true;
  }
  failed |= moved != length;
  time("CloseHandle (transfer event)", [&] { return CloseHandle(event); });
}

// The one-shot command with no payload as its definition makes it: the
// connection's cancellation event and clock, the path converted, the pipe
// opened for identification only and set to byte mode, the cancellation
// reset and the clock restarted; each 4-byte field its own transfer, the
// status read; the pipe and the event closed.
template <typename Time>
void floorExchange(Time &time, const std::string &pipePath) {
  const HANDLE cancelEvent =
      time("CreateEventW (cancel)", [] { return CreateEventW(nullptr, FALSE, FALSE, nullptr); });
  time("GetTickCount (construction)", [] { return GetTickCount(); });
  wchar_t path[256];
  const int units = time("MultiByteToWideChar (size)", [&] {
    return MultiByteToWideChar(CP_UTF8, 0, pipePath.data(), static_cast<int>(pipePath.size()),
                               nullptr, 0);
  });
  time("MultiByteToWideChar", [&] {
    return MultiByteToWideChar(CP_UTF8, 0, pipePath.data(), static_cast<int>(pipePath.size()), path,
                               units);
  });
  path[units] = L'\0';
  const HANDLE pipe = time("CreateFileW", [&] {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                       nullptr);
  });
  if (pipe == INVALID_HANDLE_VALUE) {
    failed = true;
    CloseHandle(cancelEvent);
    return;
  }
  DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
  time("SetNamedPipeHandleState",
       [&] { return SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr); });
  time("ResetEvent", [&] { return ResetEvent(cancelEvent); });
  time("GetTickCount (connect)", [] { return GetTickCount(); });
  std::uint8_t id[4] = {0, 0, 0, 1};
  std::uint8_t length[4] = {0, 0, 0, 0};
  std::uint8_t status[4] = {1, 1, 1, 1};
  floorTransfer(time, pipe, cancelEvent, id, sizeof id, false);
  floorTransfer(time, pipe, cancelEvent, length, sizeof length, false);
  floorTransfer(time, pipe, cancelEvent, status, sizeof status, true);
  failed |= std::memcmp(status, "\0\0\0\0", 4) != 0;
  time("CloseHandle (pipe)", [&] { return CloseHandle(pipe); });
  time("CloseHandle (cancel event)", [&] { return CloseHandle(cancelEvent); });
}

const int kRoundTrips = 200;
const int kRepetitions = 7;
// A round trip's time swings with when the server's thread and the
// wineserver get the processor: the candidates take turns round trip by
// round trip, and each figure is the median of the round trips.
const int kTurns = 1001;

int timeCalls(const std::string &pipePath) {
  lumo::bench::CallTimes times;
  for (int r = 0; r < kRepetitions; ++r) {
    for (int i = 0; i < kRoundTrips; ++i) {
      floorExchange(times, pipePath);
    }
    times.endRepetition(kRoundTrips);
  }
  if (failed) {
    std::fprintf(stderr, "control_bench: an exchange failed\n");
    return 1;
  }
  times.print("control round trip floor");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string name = lumo::test::uniquePipeName();
  const std::string pipePath = "\\\\.\\pipe\\" + name;
  const std::wstring path(pipePath.begin(), pipePath.end());
  lumo::test::ReferenceServer server(name, [](std::uint32_t, const std::vector<std::uint8_t> &) {
    return lumo::test::statusReply(0);
  });
  if (argc == 2 && std::strcmp(argv[1], "--calls") == 0) {
    return timeCalls(pipePath);
  }
  lumo::bench::Untimed bare;
  const auto t =
      lumo::bench::compare({[&] { failed |= lumo::server::runControlCommand(name, 1) != 0; },
                            [&] { floorExchange(bare, pipePath); }, [&] { rawExchange(path); }},
                           1, kTurns);
  if (failed) {
    std::fprintf(stderr, "control_bench: an exchange failed\n");
    return 1;
  }
  std::printf("%-40s %14s %14s %14s\n", "control round trips per second", "lumo", "floor", "raw");
  std::printf("%-40s %14.0f %14.0f %14.0f\n", "connect, 8-byte request, status", 1e9 / t[0],
              1e9 / t[1], 1e9 / t[2]);
  lumo::bench::printFloorLine("control round trip", t[0] / t[1], t[0] / t[2]);
  std::printf(
      "ratios: time per round trip, lumo / floor and lumo / raw; median of %d round "
      "trips each, taking turns\n",
      kTurns);
  return 0;
}
