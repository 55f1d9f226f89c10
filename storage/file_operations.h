#pragma once

#include <cstdint>
#include <string>

namespace lumo {
namespace storage {

enum class FileState : std::int32_t {
  Present = 0,
  // The file, or the folder it would be in, does not exist.
  Absent = 1,
  Failed = 2,
};

struct FileReadResult {
  FileState state = FileState::Failed;
  // The whole content for Present, otherwise empty.
  std::string bytes;
  std::string error;
};

struct FileWriteResult {
  bool written = false;
  std::string error;
};

struct FilePresenceResult {
  FileState state = FileState::Failed;
  std::string error;
};

// Whole-file reads and plain (not atomic) writes. Failures are results,
// never exceptions: a file too large for this process's memory is Failed,
// with its size in the message.
class IFileOperations {
public:
  virtual ~IFileOperations() = default;
  virtual FileReadResult readFile(const std::wstring &path) const = 0;
  // Creates or truncates the file. A failure may leave it truncated or
  // partly written.
  virtual FileWriteResult writeFile(const std::wstring &path, const std::string &bytes) const = 0;
};

class IFilePresence {
public:
  virtual ~IFilePresence() = default;
  // Present only for an existing file that is not a folder.
  virtual FilePresenceResult checkPresence(const std::wstring &path) const = 0;
};

class WindowsFileOperations : public IFileOperations, public IFilePresence {
public:
  FileReadResult readFile(const std::wstring &path) const override;
  FileWriteResult writeFile(const std::wstring &path, const std::string &bytes) const override;
  FilePresenceResult checkPresence(const std::wstring &path) const override;
};

}  // namespace storage
}  // namespace lumo
