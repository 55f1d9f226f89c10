#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "source/screen_source_c.h"
#include "test_support.h"
#include "util/unique_any.h"

namespace {

using UniqueSource = lumo::UniqueAny<lumo_source *, &lumo_source_destroy>;

struct StartCase {
  const char *name;
  lumo_result expected;
  void (*change)(lumo_source_settings *settings, std::wstring *library);
};

TEST(SourceCTest, EachFailedStartIsAResultWithATextAndNoSource) {
  const StartCase cases[] = {
      {"size too small", LUMO_ERROR_BAD_ARGUMENT, [](auto *s, auto *) { s->size = 8; }},
      {"size too large", LUMO_ERROR_BAD_ARGUMENT, [](auto *s, auto *) { s->size += 8; }},
      {"missing", LUMO_ERROR_LIBRARY_MISSING,
       [](auto *, auto *l) { *l = lumo::test::besideThisProgram(L"missing.dll"); }},
      // Its text, with the path, is cut at a character.
      {"long path", LUMO_ERROR_LIBRARY_MISSING,
       [](auto *, auto *l) { *l = L"C:\\" + std::wstring(250, L'\u00e9') + L".dll"; }},
      {"other bitness", LUMO_ERROR_LIBRARY_OTHER_BITNESS,
       [](auto *, auto *l) { *l = lumo::test::besideThisProgram(L"paintwatch32.dll"); }},
      {"not the hooks", LUMO_ERROR_NOT_HOOK_LIBRARY,
       [](auto *, auto *l) { *l = lumo::test::besideThisProgram(L"lumo_source.dll"); }},
  };
  for (const StartCase &start : cases) {
    lumo_source_settings settings;
    lumo_source_default_settings(&settings);
    settings.watch_32 = 0;
    std::wstring library;
    start.change(&settings, &library);
    settings.hook_library = library.c_str();
    // Not null, so that the failure's clearing shows.
    lumo_source *source = reinterpret_cast<lumo_source *>(&settings);
    lumo_error error;
    EXPECT_EQ(lumo_source_create(&settings, &source, &error), start.expected) << start.name;
    EXPECT_EQ(source, nullptr) << start.name;
    EXPECT_GT(std::strlen(error.text), 0u) << start.name;
    EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, error.text, -1, nullptr, 0), 0)
        << start.name;
  }
}

// The frame's pixels are the source's: the next frame waits for its release.
TEST(SourceCTest, NextWhileAFrameIsHeldFailsAndChangesNothing) {
  lumo_source_settings settings;
  lumo_source_default_settings(&settings);
  settings.watch_32 = 0;
  UniqueSource source;
  lumo_error error;
  ASSERT_EQ(lumo_source_create(&settings, source.put(), &error), LUMO_OK) << error.text;
  const lumo_frame *first = nullptr;
  ASSERT_EQ(lumo_source_next(source.get(), 10000, &first, &error), LUMO_OK) << error.text;
  ASSERT_EQ(first->sequence, 1u);
  EXPECT_TRUE(first->whole);
  const lumo_frame *second = first;
  lumo_source_release_frame(source.get(), nullptr);
  EXPECT_EQ(lumo_source_next(source.get(), 0, &second, &error), LUMO_ERROR_FRAME_HELD);
  EXPECT_EQ(second, nullptr);
  EXPECT_GT(std::strlen(error.text), 0u);
  EXPECT_EQ(first->sequence, 1u);

  lumo_source_release_frame(source.get(), first);
  const lumo_result after = lumo_source_next(source.get(), 0, &second, &error);
  EXPECT_TRUE(after == LUMO_OK || after == LUMO_TIMED_OUT) << after << ": " << error.text;
}

}  // namespace
