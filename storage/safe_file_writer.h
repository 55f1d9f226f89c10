#pragma once

// All-or-nothing replacement and removal of files, ordered across processes
// by the file's named lock. A reader in any process sees the old or the new
// content, never a part of either.
//
// Each operation takes resolvedPath (full_path.h) of its path once, for the
// lock (fileLockName says which spellings meet) and every file call. New
// content is written to TARGET.tmp.PID.TICK.N beside the target; where that
// name would pass the 255 units a folder entry may have, the part taken
// from the target's name is cut short. Paths of MAX_PATH units or more reach
// the platform in the \\?\ form.
//
// Security: every file the writer creates, the new content and a backup
// copy, gets the descriptor of the writer's protection, with one exception.
// Inherited sets none, so a first write gets what the folder passes on, but
// content that replaces a file, and the copy of what it replaces, take that
// file's owner and access list: a list an administrator narrowed must not
// widen to the folder's. Where the platform will not give a new file that
// owner (without privilege a program can assign only its own user, or a
// group its token may own files through), the new file gets the access list
// with the writer as its owner, as a plain replacement always gave it.

#include <cstdint>
#include <string>

#include "storage/file_protection.h"

namespace lumo {
namespace storage {

// A file open in another handle cannot be replaced; readers hold it only
// briefly, so the rename is tried this often, this far apart, before it
// fails.
constexpr int replaceAttempts = 500;
constexpr unsigned replacePauseMs = 2;

// What the caller loaded earlier: existed is 1 for a Present read, 0 for an
// Absent one; bytes is only looked at when existed is non-zero.
struct LoadedFileSnapshot {
  std::int32_t existed = 0;
  std::string bytes;
};

enum class SafeWriteStatus : std::int32_t {
  Written = 0,
  // Deleted now, or already absent as expected.
  Removed = 1,
  // The file differs from the snapshot; nothing was changed.
  Conflict = 2,
  LockFailed = 3,
  // The current file, or under Inherited its descriptor, could not be read.
  ReadFailed = 4,
  // The temporary file or the backup copy could not be written; the target
  // is unchanged.
  TemporaryFileFailed = 5,
  // The rename of the new file or of the backup copy, or the deletion,
  // failed; the target is unchanged.
  CommitFailed = 6,
};

struct SafeWriteResult {
  SafeWriteStatus status = SafeWriteStatus::CommitFailed;
  std::string message;
};

// Writes and removals refused when the file changed since it was loaded. A
// file whose size differs from the snapshot's is a Conflict without being
// read, whatever its size.
class ISafeFileWriter {
public:
  virtual ~ISafeFileWriter() = default;
  // A non-empty backupPath receives a copy of the previous content when an
  // existing target is replaced; an empty one keeps no backup.
  virtual SafeWriteResult writeIfUnchanged(const std::wstring &path, const std::string &bytes,
                                           const LoadedFileSnapshot &expected,
                                           const std::wstring &backupPath) const = 0;
  virtual SafeWriteResult removeIfUnchanged(const std::wstring &path,
                                            const LoadedFileSnapshot &expected) const = 0;
};

// Unconditional writes and removals.
class IAtomicFileWriter {
public:
  virtual ~IAtomicFileWriter() = default;
  virtual SafeWriteResult writeAtomically(const std::wstring &path,
                                          const std::string &bytes) const = 0;
  virtual SafeWriteResult removeFile(const std::wstring &path) const = 0;
};

// Holds no mutable state, so threads may share one. Every operation may be
// called by a thread that already holds the path's lock.
class WindowsSafeFileWriter : public ISafeFileWriter, public IAtomicFileWriter {
public:
  WindowsSafeFileWriter(FileProtection protection, const std::wstring &scopeName);

  SafeWriteResult writeIfUnchanged(const std::wstring &path, const std::string &bytes,
                                   const LoadedFileSnapshot &expected,
                                   const std::wstring &backupPath) const override;
  SafeWriteResult removeIfUnchanged(const std::wstring &path,
                                    const LoadedFileSnapshot &expected) const override;
  SafeWriteResult writeAtomically(const std::wstring &path,
                                  const std::string &bytes) const override;
  SafeWriteResult removeFile(const std::wstring &path) const override;

private:
  // Runs the operation on the resolved path, holding its lock; LockFailed
  // without it.
  template <typename Operation>
  SafeWriteResult underLock(const std::wstring &path, Operation operation) const;
  // previous is the target's current content, copied to a non-empty
  // backupPath before an existing target is replaced.
  SafeWriteResult replaceWith(const std::wstring &path, const std::string &bytes, bool targetExists,
                              const std::wstring &backupPath, const std::string &previous) const;

  FileProtection protection;
  std::wstring scopeName;
};

}  // namespace storage
}  // namespace lumo
