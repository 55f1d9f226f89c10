// The monitor's output thread: nothing lost while the reader keeps up, and
// a reader that does not read never holds the monitor up.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "util/unique_handle.h"
#include "tools/report_output.h"

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

}  // namespace
