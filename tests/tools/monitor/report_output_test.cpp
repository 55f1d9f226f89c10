// The monitor's output thread: nothing lost while the reader keeps up, and
// a reader that does not read never holds the monitor up.

#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <string>
#include <thread>

#include "util/unique_handle.h"
#include "tools/monitor/report_output.h"

using lumo::UniqueHandle;
using lumo::tools::ReportOutput;

namespace {

struct Pipe {
  Pipe() {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, nullptr, 4096);
    reader.reset(read);
    writer.reset(write);
  }
  UniqueHandle reader;
  UniqueHandle writer;
};

std::string readAll(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  return text;
}

TEST(ReportOutputTest, EveryLineArrivesInOrderWhileTheReaderKeepsUp) {
  Pipe pipe;
  std::string received;
  std::thread reader([&] { received = readAll(pipe.reader.get()); });
  std::string expected;
  {
    ReportOutput output(pipe.writer.get());
    for (int i = 0; i < 20000; ++i) {
      output.add(std::to_wstring(i) + L" \u00FC");
      expected += std::to_string(i) + " \xC3\xBC\r\n";
    }
    EXPECT_EQ(output.finish(10000), 0u);
  }
  pipe.writer.reset();
  reader.join();
  EXPECT_EQ(received, expected);
}

TEST(ReportOutputTest, AReaderThatDoesNotReadCostsLinesNotTime) {
  Pipe pipe;
  ReportOutput output(pipe.writer.get(), 1000);
  const ULONGLONG started = GetTickCount64();
  for (int i = 0; i < 5000; ++i) {
    output.add(L"100 200 300 400");
  }
  EXPECT_LT(GetTickCount64() - started, 1000u);
  const std::uint64_t dropped = output.finish(200);
  EXPECT_LT(GetTickCount64() - started, 2000u);
  // The pipe holds a few kilobytes and the buffer a thousand characters:
  // most lines are dropped and counted.
  EXPECT_GT(dropped, 4000u);
  EXPECT_LE(dropped, 5000u);
}

TEST(ReportOutputTest, AReportIsItsFourNumbersInDecimal) {
  const struct {
    lumo::region::Rect report;
    const char *line;
  } cases[] = {
      {lumo::region::Rect(0, 0, 0, 0), "0 0 0 0"},
      {lumo::region::Rect(-32768, -1, 32767, 10), "-32768 -1 32767 10"},
      {lumo::region::Rect(INT_MIN, INT_MAX, -7, 1000000000),
       "-2147483648 2147483647 -7 1000000000"},
  };
  Pipe pipe;
  std::string expected;
  {
    ReportOutput output(pipe.writer.get());
    for (const auto &c : cases) {
      output.addReport(c.report);
      expected += std::string(c.line) + "\r\n";
    }
    EXPECT_EQ(output.finish(10000), 0u);
  }
  pipe.writer.reset();
  EXPECT_EQ(readAll(pipe.reader.get()), expected);
}

// Reads what the pipe holds until nothing more comes for a while.
std::string readUntilQuiet(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  for (ULONGLONG quietSince = GetTickCount64(); GetTickCount64() - quietSince < 1000; Sleep(10)) {
    DWORD available = 0;
    DWORD read = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      text.append(buffer, read);
      quietSince = GetTickCount64();
    }
  }
  return text;
}

TEST(ReportOutputTest, LinesThatNeverGoOutAreCountedAsDropped) {
  Pipe pipe;
  ReportOutput output(pipe.writer.get());
  const std::string line = "100 200 300 400\r\n";
  // The writer takes the first lines and blocks on the full pipe; the
  // others wait in the queue when the grace period ends.
  for (int i = 0; i < 3000; ++i) {
    output.add(L"100 200 300 400");
  }
  Sleep(300);
  for (int i = 0; i < 2000; ++i) {
    output.add(L"100 200 300 400");
  }
  const std::uint64_t dropped = output.finish(200);
  // What the writer had taken comes out once the reader reads.
  const std::string text = readUntilQuiet(pipe.reader.get());
  ASSERT_EQ(text.size() % line.size(), 0u);
  for (std::size_t at = 0; at < text.size(); at += line.size()) {
    ASSERT_EQ(text.compare(at, line.size(), line), 0) << at;
  }
  EXPECT_GE(dropped, 2000u);
  EXPECT_EQ(text.size() / line.size() + dropped, 5000u);
}

}  // namespace
