// Control exchange: runControlCommand round trips per second against the
// reference server, beside a raw client that opens the same pipe and moves
// the same bytes with plain WriteFile and ReadFile.

#include <windows.h>

#include <cstdint>
#include <cstdio>
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

}  // namespace

int main() {
  const std::string name = lumo::test::uniquePipeName();
  const std::wstring path = L"\\\\.\\pipe\\" + std::wstring(name.begin(), name.end());
  lumo::test::ReferenceServer server(name, [](std::uint32_t, const std::vector<std::uint8_t> &) {
    return lumo::test::statusReply(0);
  });
  const int repetitions = 7;
  const auto t =
      lumo::bench::compare({[&] { failed |= lumo::server::runControlCommand(name, 1) != 0; },
                            [&] { rawExchange(path); }},
                           200, repetitions);
  if (failed) {
    std::fprintf(stderr, "control_bench: an exchange failed\n");
    return 1;
  }
  std::printf("%-40s %14s %14s %8s\n", "control round trips per second", "lumo", "raw", "ratio");
  std::printf("%-40s %14.0f %14.0f %8.2f\n", "connect, 8-byte request, status", 1e9 / t[0],
              1e9 / t[1], t[0] / t[1]);
  std::printf("ratio: time per round trip, lumo / raw; median of %d runs\n", repetitions);
  return 0;
}
