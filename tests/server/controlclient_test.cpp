// The operators' command-line client against the reference server.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reference_server.h"
#include "test_support.h"

namespace {

using lumo::test::besideThisProgram;
using lumo::test::ReferenceServer;
using lumo::test::ScriptedReply;
using lumo::test::statusReply;
using lumo::test::UniqueHandle;
using lumo::test::uniquePipeName;
using Bytes = std::vector<std::uint8_t>;

struct Outcome {
  DWORD exitCode = ~0u;
  std::string output;  // standard output and error together
};

Outcome runClient(const std::wstring &arguments) {
  const std::wstring outputPath =
      besideThisProgram(L"controlclient_test_" + std::to_wstring(GetCurrentProcessId()) + L".out");
  Outcome outcome;
  {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const lumo::UniqueFileHandle output(CreateFileW(
        outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    const std::wstring program = besideThisProgram(L"controlclient.exe");
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
      ADD_FAILURE() << "cannot start controlclient.exe";
      return outcome;
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    WaitForSingleObject(process.get(), 60000);
    GetExitCodeProcess(process.get(), &outcome.exitCode);
  }
  std::ifstream in(outputPath.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  outcome.output = text.str();
  in.close();
  DeleteFileW(outputPath.c_str());
  return outcome;
}

std::wstring pipeOption(const std::string &name) {
  return L"--pipe " + std::wstring(name.begin(), name.end()) + L" ";
}

TEST(ControlClientTest, ReportsEachKindOfReply) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t id, const Bytes &) {
    return id == 100 ? ScriptedReply() : statusReply(id);
  });
  Outcome accepted = runClient(pipeOption(name) + L"--word 1 --bytes 0aFF --word 0x10203040 0");
  EXPECT_EQ(0u, accepted.exitCode);
  EXPECT_NE(std::string::npos, accepted.output.find("the server accepted request 0"))
      << accepted.output;
  ASSERT_EQ(1u, server.requests().size());
  EXPECT_EQ(Bytes({0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 1, 0x0A, 0xFF, 0x10, 0x20, 0x30, 0x40}),
            server.requests()[0]);

  const Outcome refused = runClient(pipeOption(name) + L"2");
  EXPECT_EQ(12u, refused.exitCode);
  EXPECT_NE(std::string::npos,
            refused.output.find("error status 2: The server could not carry out the request "
                                "(status 2)"))
      << refused.output;

  const Outcome invalid = runClient(pipeOption(name) + L"0x9");
  EXPECT_EQ(14u, invalid.exitCode);
  EXPECT_NE(std::string::npos, invalid.output.find("carries no valid status")) << invalid.output;

  const Outcome silent = runClient(pipeOption(name) + L"--timeout 300 100");
  EXPECT_EQ(1u, silent.exitCode);
  EXPECT_NE(std::string::npos, silent.output.find("(timed out, Windows error 1460)"))
      << silent.output;
}

TEST(ControlClientTest, MissingServerIsALocalFailure) {
  const Outcome outcome = runClient(pipeOption(uniquePipeName()) + L"1");
  EXPECT_EQ(1u, outcome.exitCode);
  EXPECT_NE(std::string::npos,
            outcome.output.find("Cannot open control pipe, error code = 2 (pipe not found, "
                                "Windows error 2)"))
      << outcome.output;
}

TEST(ControlClientTest, RejectsBadCommandLines) {
  const struct {
    const wchar_t *arguments;
    const char *complaint;
  } cases[] = {
      {L"--frobnicate 1", "unknown option \"--frobnicate\""},
      {L"twelve", "the message id must be a 32-bit number, not \"twelve\""},
      {L"0x100000000", "must be a 32-bit number"},
      {L"-1", "must be a 32-bit number, not \"-1\""},
      {L"--word 4294967296 1", "--word needs a 32-bit number"},
      {L"--bytes abc 1", "--bytes needs pairs of hex digits, not \"abc\""},
      {L"--bytes 0g 1", "--bytes needs pairs of hex digits"},
      {L"--timeout", "--timeout needs a value"},
      {L"--pipe a\\b 1", "--pipe needs a pipe name without slashes"},
      {L"--word 1", "a message id is required"},
      {L"1 2", "one too many"},
  };
  for (const auto &c : cases) {
    const Outcome outcome = runClient(c.arguments);
    EXPECT_EQ(2u, outcome.exitCode) << outcome.output;
    EXPECT_NE(std::string::npos, outcome.output.find(c.complaint)) << outcome.output;
  }
  const Outcome help = runClient(L"--help");
  EXPECT_EQ(0u, help.exitCode);
  EXPECT_NE(std::string::npos, help.output.find("lumoserver-4.0-service-control"));
  EXPECT_NE(std::string::npos, help.output.find("Exit codes:"));
}

// Values are judged by their value, and what was typed comes back exactly.
TEST(ControlClientTest, JudgesNumbersByValueAndRepeatsWhatWasTyped) {
  const std::string name = uniquePipeName();
  ReferenceServer server(name, [](std::uint32_t, const Bytes &) { return statusReply(0); });
  const Outcome padded = runClient(pipeOption(name) + L"--word 00000000001 0000000000042");
  EXPECT_EQ(0u, padded.exitCode) << padded.output;
  ASSERT_EQ(1u, server.requestCount());
  EXPECT_EQ(Bytes({0, 0, 0, 42, 0, 0, 0, 4, 0, 0, 0, 1}), server.requests()[0]);

  const Outcome typed = runClient(L"--word 1\u00FC\u20AC\u65E5 1");
  EXPECT_EQ(2u, typed.exitCode);
  EXPECT_NE(std::string::npos,
            typed.output.find("not \"1\xC3\xBC\xE2\x82\xAC\xE6\x97\xA5\" (try --help)\r\n"))
      << typed.output;
}

}  // namespace
