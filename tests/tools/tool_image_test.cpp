// The programs that look at the screen, read as files: each carries the
// manifest that makes it aware of every monitor's DPI, so that its
// coordinates are the physical pixels the hooks report in.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

// The program's own manifest (resource 1), or an empty text.
std::string manifestOf(const std::wstring &program) {
  const lumo::UniqueModule image(LoadLibraryExW(
      program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  const HRSRC found =
      image ? FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
  const HGLOBAL loaded = found != nullptr ? LoadResource(image.get(), found) : nullptr;
  if (loaded == nullptr) {
    return std::string();
  }
  return std::string(static_cast<const char *>(LockResource(loaded)),
                     SizeofResource(image.get(), found));
}

TEST(ToolImageTest, ScreenProgramsArePerMonitorDpiAware) {
  for (const wchar_t *program : {L"paintmonitor.exe", L"paintdemo.exe", L"paintdemo32.exe"}) {
    const std::string manifest = manifestOf(lumo::test::besideThisProgram(program));
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << program;
    EXPECT_NE(manifest.find(">PerMonitorV2,PerMonitor</dpiAwareness>"), std::string::npos)
        << program;
  }
}

}  // namespace
