// The catalogue's values, and how and when it is built, seen from this
// process and from fresh ones.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server_object_names.h"
#include "test_support.h"

namespace {

using lumo::server::ServerObjectNames;
using lumo::test::besideThisProgram;

DWORD runPeer(const std::wstring &mode) {
  const std::wstring program = besideThisProgram(L"catalogue_peer.exe");
  return lumo::test::runProcess(program, L"\"" + program + L"\" " + mode);
}

TEST(ServerObjectNamesTest, HoldsTheTableValues) {
  const ServerObjectNames &names = ServerObjectNames::instance();
  EXPECT_EQ(&names, &ServerObjectNames::instance());
  EXPECT_EQ("MIRROR_DRIVER_MESSAGE_WINDOW_CLASS_NAME", names.mirrorDriverMessageWindowClass);
  EXPECT_EQ("lumoserver-message-window", names.messageWindowName);
  EXPECT_EQ("lumoserver-overview-window", names.overviewWindowName);
  EXPECT_EQ("lumoserver-clipboard-window", names.clipboardWindowName);
  EXPECT_EQ(L"lumoserver-hook-loader-window", names.hookLoaderWindowName);
  EXPECT_EQ("lumoserver-hook-target-window", names.hookTargetWindowName);
  EXPECT_EQ("veltrun.exe", names.hookLoaderFileName);
  EXPECT_EQ("paintwatch32.dll", names.hookLibrary32FileName);
  EXPECT_EQ("paintwatch64.dll", names.hookLibrary64FileName);
  EXPECT_EQ("Tarnwick Server", names.serverTitle);
  EXPECT_EQ("Tarnwick", names.productName);
  EXPECT_EQ("Tarnwick", names.productLabel);
  EXPECT_EQ("Tarnwick Server", names.productTitle);
  EXPECT_EQ("lumoserver", names.serverName);
  EXPECT_EQ("lumoserver-log-service", names.logServiceName);
  EXPECT_EQ("Tarnwick Server", names.serviceTitle);
  EXPECT_EQ("lumoserver-service", names.serviceName);
  EXPECT_EQ("lumoserver", names.applicationName);
  EXPECT_EQ("lumoserver", names.applicationLabel);
  EXPECT_EQ("Tarnwick Server", names.applicationTitle);
  EXPECT_EQ("lumoserver-overview-window-activate", names.overviewActivateName);
  EXPECT_EQ("lumoserver-app-instance", names.appInstanceName);
  EXPECT_EQ("lumoserver-control-service-instance", names.controlServiceInstanceName);
  EXPECT_EQ("lumoserver-4.0-service-control", names.serviceControlPipeName);
  EXPECT_EQ("lumoserver-4.0-app-control", names.appControlName);

  // The messages are registered ones, distinct, and what setHookWithMessage
  // accepts.
  EXPECT_GE(names.hookUpdateMessage, 0xC000u);
  EXPECT_LE(names.hookUpdateMessage, 0xFFFFu);
  EXPECT_GE(names.hookLoaderCloseMessage, 0xC000u);
  EXPECT_NE(names.hookUpdateMessage, names.hookLoaderCloseMessage);
  EXPECT_EQ(names.hookUpdateMessage, RegisterWindowMessageW(L"lumoserver-hook-update"));
  EXPECT_EQ(names.hookLoaderCloseMessage, RegisterWindowMessageW(L"lumoserver-hook-loader-close"));
}

TEST(ServerObjectNamesTest, OnlyTheControlNamesCarryTheVersion) {
  const ServerObjectNames &names = ServerObjectNames::instance();
  const std::vector<const std::string *> others = {&names.mirrorDriverMessageWindowClass,
                                                   &names.messageWindowName,
                                                   &names.overviewWindowName,
                                                   &names.clipboardWindowName,
                                                   &names.hookTargetWindowName,
                                                   &names.hookLoaderFileName,
                                                   &names.hookLibrary32FileName,
                                                   &names.hookLibrary64FileName,
                                                   &names.serverTitle,
                                                   &names.productName,
                                                   &names.productLabel,
                                                   &names.productTitle,
                                                   &names.serverName,
                                                   &names.logServiceName,
                                                   &names.serviceTitle,
                                                   &names.serviceName,
                                                   &names.applicationName,
                                                   &names.applicationLabel,
                                                   &names.applicationTitle,
                                                   &names.overviewActivateName,
                                                   &names.appInstanceName,
                                                   &names.controlServiceInstanceName};
  for (const std::string *name : others) {
    EXPECT_EQ(std::string::npos, name->find("4.0")) << *name;
    EXPECT_EQ(std::string::npos, name->find('\\')) << *name;
  }
  EXPECT_EQ(std::wstring::npos, names.hookLoaderWindowName.find(L"4.0"));
}

TEST(ServerObjectNamesTest, OtherProcessesGetTheSameMessageNumbers) {
  const ServerObjectNames &names = ServerObjectNames::instance();
  EXPECT_EQ(names.hookUpdateMessage, runPeer(L"update"));
  EXPECT_EQ(names.hookLoaderCloseMessage, runPeer(L"close"));
}

TEST(ServerObjectNamesTest, BuiltOnFirstUseOnlyAndOnce) {
  // Nothing registers before the first call, and later calls reuse it.
  EXPECT_EQ(2u, runPeer(L"lazy"));
  // Racing threads share one build.
  EXPECT_EQ(2u, runPeer(L"threads"));
  // A build that throws is started over: one failed call, then both.
  EXPECT_EQ(3u, runPeer(L"retry"));
  // A refused registration is no error.
  EXPECT_EQ(0u, runPeer(L"refused"));
}

}  // namespace
