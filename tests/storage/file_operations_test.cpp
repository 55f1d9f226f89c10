#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>

#include "storage/file_operations.h"
#include "storage/known_folder.h"
#include "storage_test_support.h"

namespace lumo {
namespace storage {
namespace {

using test::contentOf;
using test::putContent;
using test::ScratchFolder;

TEST(FileOperationsTest, RoundTripsContentWithEmbeddedZeros) {
  ScratchFolder folder;
  const std::wstring file = folder.path(L"data.bin");
  const std::string bytes("a\0b\r\n\xff", 6);
  const WindowsFileOperations operations;

  const FileWriteResult written = operations.writeFile(file, bytes);
  EXPECT_TRUE(written.written);
  EXPECT_EQ("", written.error);
  const FileReadResult read = operations.readFile(file);
  EXPECT_EQ(FileState::Present, read.state);
  EXPECT_EQ(bytes, read.bytes);
  EXPECT_EQ("", read.error);
}

TEST(FileOperationsTest, EmptyFilesAreWrittenByTruncationAndReadAsPresent) {
  ScratchFolder folder;
  const std::wstring file = folder.path(L"empty.txt");
  putContent(file, "previous content");
  const WindowsFileOperations operations;

  EXPECT_TRUE(operations.writeFile(file, "").written);
  EXPECT_EQ("", contentOf(file));
  const FileReadResult read = operations.readFile(file);
  EXPECT_EQ(FileState::Present, read.state);
  EXPECT_EQ("", read.bytes);
}

TEST(FileOperationsTest, MissingFilesAndFoldersAreAbsentWithoutMessage) {
  ScratchFolder folder;
  const WindowsFileOperations operations;
  for (const std::wstring &path : {folder.path(L"missing.txt"), folder.path(L"no\\such.txt")}) {
    const FileReadResult read = operations.readFile(path);
    EXPECT_EQ(FileState::Absent, read.state);
    EXPECT_EQ("", read.error);
    const FilePresenceResult presence = operations.checkPresence(path);
    EXPECT_EQ(FileState::Absent, presence.state);
    EXPECT_EQ("", presence.error);
  }
}

TEST(FileOperationsTest, FoldersAreNotFiles) {
  ScratchFolder folder;
  const WindowsFileOperations operations;
  const FilePresenceResult presence = operations.checkPresence(folder.path(L"."));
  EXPECT_EQ(FileState::Failed, presence.state);
  EXPECT_EQ("The credential path names a directory", presence.error);

  const FileReadResult read = operations.readFile(folder.path(L"."));
  EXPECT_EQ(FileState::Failed, read.state);
  EXPECT_EQ(0u, read.error.find("CreateFileW for reading failed with Windows error "))
      << read.error;
}

TEST(FileOperationsTest, WritingIntoAMissingFolderReportsTheOpen) {
  ScratchFolder folder;
  const FileWriteResult result = WindowsFileOperations().writeFile(folder.path(L"no\\a.txt"), "x");
  EXPECT_FALSE(result.written);
  EXPECT_EQ("CreateFileW for writing failed with Windows error 3", result.error);
}

BOOL WINAPI sizeQueryRefused(HANDLE, PLARGE_INTEGER) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

BOOL WINAPI sizeBeyondAnyBuffer(HANDLE, PLARGE_INTEGER size) {
  size->QuadPart = std::numeric_limits<LONGLONG>::max();
  return TRUE;
}

struct ReadFailure {
  const char *name;
  void (*arrange)();
  const char *error;
};

// Each with the whole seam table back as it was, on a 10-byte file.
const ReadFailure readFailures[] = {
    {"shrinks after its size was taken",
     [] { storageSeam.getFileSizeEx = &test::sizeTenBytesLarger; },
     "ReadFile returned no data before end of file"},
    {"size query refused", [] { storageSeam.getFileSizeEx = &sizeQueryRefused; },
     "GetFileSizeEx failed with Windows error 5"},
    {"read refused", [] { storageSeam.readFile = &test::readRefused; },
     "ReadFile failed with Windows error 33"},
    // Neither throws.
    {"size no buffer of this process can have",
     [] { storageSeam.getFileSizeEx = &sizeBeyondAnyBuffer; },
     "The file is too large to be held in memory (9223372036854775807 bytes)"},
    {"buffer cannot be had", [] { storageSeam.resizeBuffer = &test::outOfMemory; },
     "Not enough memory to read the file (10 bytes)"},
};

TEST(FileOperationsTest, ReadFailuresLeaveNoPartialContent) {
  ScratchFolder folder;
  const std::wstring file = folder.path(L"data.txt");
  putContent(file, "0123456789");
  for (const ReadFailure &failure : readFailures) {
    SCOPED_TRACE(failure.name);
    const test::SeamOverride<StorageSeam> seam(storageSeam);
    failure.arrange();
    const FileReadResult read = WindowsFileOperations().readFile(file);
    EXPECT_EQ(FileState::Failed, read.state);
    EXPECT_EQ(failure.error, read.error);
    EXPECT_EQ("", read.bytes);
  }
}

const std::uint64_t oneTebibyte = std::uint64_t{1} << 40;

TEST(FileOperationsTest, AFileBeyondMemoryFailsWithItsSizeAndIsLeftAsItWas) {
  ScratchFolder folder;
  const std::wstring file = folder.path(L"huge.bin");
  ASSERT_TRUE(test::makeSparseFile(file, oneTebibyte));
  const FileReadResult read = WindowsFileOperations().readFile(file);
  EXPECT_EQ(FileState::Failed, read.state);
  // Too large to index or to allocate, depending on the bitness.
  const std::string size = " (1099511627776 bytes)";
  ASSERT_GT(read.error.size(), size.size());
  EXPECT_EQ(size, read.error.substr(read.error.size() - size.size())) << read.error;
  EXPECT_EQ("", read.bytes);
  EXPECT_EQ(oneTebibyte, test::sizeOf(file));
}

TEST(KnownFolderTest, KnownFoldersAreFoundAndOthersFailWithTheResult) {
  const WindowsKnownFolderProvider provider;
  for (const KnownFolder kind :
       {KnownFolder::ProgramData, KnownFolder::LocalAppData, KnownFolder::RoamingAppData}) {
    const KnownFolderResult result = provider.knownFolderPath(kind);
    EXPECT_TRUE(result.found);
    EXPECT_NE(L"", result.path);
    EXPECT_EQ("", result.error);
  }
  const KnownFolderResult result = provider.knownFolderPath(static_cast<KnownFolder>(3));
  EXPECT_FALSE(result.found);
  EXPECT_EQ(L"", result.path);
  const std::string prefix = "SHGetKnownFolderPath failed with HRESULT 0x";
  ASSERT_EQ(0u, result.error.find(prefix)) << result.error;
  EXPECT_EQ(prefix.size() + 8, result.error.size()) << result.error;
}

}  // namespace
}  // namespace storage
}  // namespace lumo
