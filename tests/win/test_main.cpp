#include <gtest/gtest.h>

#include <string>

#include "child.h"

int wmain(int argc, wchar_t **argv) {
  if ((argc > 1 && std::wstring(argv[1]) == L"--probe") ||
      GetEnvironmentVariableW(lumo::test::childModeVariable, nullptr, 0) != 0) {
    return lumo::test::runChild(argc, argv);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
