// A second process for the catalogue tests. Its exit code reports one fact,
// chosen by the single argument:
//   update, close  the registered message number
//   lazy           registrations seen, counting from the start of main
//   refused        0 when refused registrations leave both numbers 0
//   retry          registrations seen when the first build fails
//   threads        registrations seen when threads race for the first build;
//                  100 when they did not all get the same catalogue

#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "seam_override.h"
#include "server/platform_seam.h"
#include "server/server_object_names.h"

namespace {

using lumo::server::ServerObjectNames;
using lumo::server::ServerSeam;
using lumo::server::serverSeam;
using lumo::test::SeamOverride;

std::atomic<int> registrations{0};
bool failFirst = false;

UINT WINAPI countedRegistration(LPCWSTR name) {
  if (registrations++ == 0 && failFirst) {
    throw std::bad_alloc();
  }
  // Widens the window in which racing threads could build twice.
  Sleep(20);
  return RegisterWindowMessageW(name);
}

UINT WINAPI refusedRegistration(LPCWSTR) { return 0; }

int threads() {
  std::vector<const ServerObjectNames *> seen(8);
  std::vector<std::thread> racers;
  for (auto &slot : seen) {
    racers.emplace_back([&slot] { slot = &ServerObjectNames::instance(); });
  }
  for (auto &racer : racers) {
    racer.join();
  }
  for (const auto *names : seen) {
    if (names != seen[0]) {
      return 100;
    }
  }
  return registrations;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  const std::wstring mode = argc == 2 ? argv[1] : L"";
  const SeamOverride<ServerSeam> seam(serverSeam);
  if (mode == L"update") {
    return static_cast<int>(ServerObjectNames::instance().hookUpdateMessage);
  }
  if (mode == L"close") {
    return static_cast<int>(ServerObjectNames::instance().hookLoaderCloseMessage);
  }
  if (mode == L"refused") {
    serverSeam.registerWindowMessage = refusedRegistration;
    const ServerObjectNames &names = ServerObjectNames::instance();
    return names.hookUpdateMessage == 0 && names.hookLoaderCloseMessage == 0 &&
                   names.serviceName == "lumoserver-service"
               ? 0
               : 1;
  }
  serverSeam.registerWindowMessage = countedRegistration;
  if (mode == L"lazy") {
    ServerObjectNames::instance();
    ServerObjectNames::instance();
    return registrations;
  }
  if (mode == L"retry") {
    failFirst = true;
    try {
      ServerObjectNames::instance();
      return 101;
    } catch (const std::bad_alloc &) {
    }
    return ServerObjectNames::instance().hookUpdateMessage != 0 ? registrations.load() : 102;
  }
  if (mode == L"threads") {
    return threads();
  }
  return 255;
}
