#pragma once

// The flushed file beside a target that the safe writer renames into place.

#include <string>

#include <windows.h>

#include "util/unique_handle.h"

namespace lumo {
namespace storage {

// Owns a temporary file: on destruction the handle is closed and, unless
// the file was committed (path emptied), the file is deleted.
class TemporaryFile {
public:
  // The role names the file in failure messages, e.g. "temporary file".
  explicit TemporaryFile(const char *role) : role(role) {}
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;
  ~TemporaryFile();

  // Creates TARGET.tmp.PID.TICK.N beside the target with the given security
  // (null for the folder's default), trying up to 128 counter values. Where
  // that name would be longer than a folder entry may be, the part taken
  // from the target's name is cut short; the rest keeps it unique. Where
  // the platform refuses the security's owner to this caller and
  // withoutOwner is given, the file is made with that instead. Called once
  // per owner. Returns the failure text, empty on success.
  std::string create(const std::wstring &target, SECURITY_ATTRIBUTES *security,
                     SECURITY_ATTRIBUTES *withoutOwner = nullptr);
  // Writes, flushes and closes. Returns the failure text, empty on success.
  std::string write(const std::string &bytes);

  // In the form handed to the platform (full_path.h).
  const std::wstring &path() const { return name; }
  // The file has become the target and must outlive this owner.
  void committed() { name.clear(); }

private:
  // Closes at most once; false (with the last error set) if the close failed.
  bool close();
  std::string failure(const char *call, DWORD error) const;

  const char *role;
  UniqueFileHandle handle;
  std::wstring name;
};

}  // namespace storage
}  // namespace lumo
