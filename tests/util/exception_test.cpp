#include <gtest/gtest.h>

#include <cwchar>
#include <exception>
#include <string>
#include <type_traits>

#include <windows.h>

#include "seam_override.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/platform_seam.h"

using lumo::Exception;
using lumo::SystemException;
using lumo::test::SeamOverride;

static_assert(!std::is_base_of_v<std::exception, Exception>);

namespace {

const wchar_t *fakeText;
DWORD seenLanguage;

DWORD WINAPI fakeFormatMessage(DWORD, LPCVOID, DWORD, DWORD language, LPWSTR buffer, DWORD size,
                               va_list *) {
  seenLanguage = language;
  if (fakeText == nullptr) {
    return 0;
  }
  wcsncpy(buffer, fakeText, size);
  return static_cast<DWORD>(wcslen(fakeText));
}

// The installed message table's English text, on one line, less its final full stop.
std::string platformDescription(DWORD code) {
  wchar_t buffer[4096] = {};
  FormatMessageW(0x1200, nullptr, code, 0x0409, buffer, 4096, nullptr);
  std::string line;
  for (char c : lumo::toUtf8(buffer)) {
    if (c != '\r' && c != '\n' && c != '\t') {
      line += c;
    }
  }
  return !line.empty() && line.back() == '.' ? line.substr(0, line.size() - 1) : line;
}

}  // namespace

TEST(ExceptionTest, KeepsTextExactlyAndSurvivesRejectedFormats) {
  EXPECT_EQ(Exception("%s = %d", "width", -3).getMessage(), "width = -3");
  EXPECT_EQ(Exception("%ls", L"\x20ac").getMessage(), "can't format string");
  EXPECT_EQ(lumo::IOException("50%s done %d%% %n").getMessage(), "50%s done %d%% %n");
}

TEST(SystemExceptionTest, CodeZeroKeepsOnlyTheCallerTextOrTheFixedSentence) {
  const std::string text = "WTSQueryUserToken error:";
  SetLastError(0);
  const SystemException fromLastError;
  EXPECT_EQ(fromLastError.getErrorCode(), 0);
  EXPECT_EQ(fromLastError.getMessage(),
            "Thrown a system exception but the program cannot "
            "identify the corresponding system error.");
  SetLastError(0);
  EXPECT_EQ(SystemException(text).getMessage(), text);
}

TEST(SystemExceptionTest, DescribesTheLastErrorFromThePlatformTable) {
  const std::string text = "WTSQueryUserToken error:";
  const std::string description = platformDescription(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(description.empty());
  SetLastError(ERROR_ACCESS_DENIED);
  const SystemException withText(text);
  EXPECT_EQ(withText.getErrorCode(), 5);
  EXPECT_EQ(withText.getMessage(), text + " (system error: )" + description + " (error code 5)");
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(SystemException().getMessage(), description + " (error code 5)");

  const DWORD customerCode = 0x20000001;  // never in the system's table
  ASSERT_EQ(platformDescription(customerCode), "");
  EXPECT_EQ(SystemException(customerCode).getMessage(), "Error code 536870913");
}

TEST(SystemExceptionTest, NormalisesDescriptionsOfAnyShapeAndPrintsCodesSigned) {
  const SeamOverride<lumo::UtilSeam> seam(lumo::utilSeam);
  lumo::utilSeam.formatMessage = fakeFormatMessage;

  fakeText = L"First line.\r\n\tSecond line, see Help..\r\n";
  EXPECT_EQ(SystemException(static_cast<int>(0x80004005)).getMessage(),
            "First line.Second line, see Help. (error code -2147467259)");
  EXPECT_EQ(seenLanguage, 0x0409u);
  fakeText = nullptr;
  EXPECT_EQ(SystemException(static_cast<int>(0x80004005)).getMessage(), "Error code -2147467259");
}
