#pragma once

// The file-system and synchronisation calls of the storage code, and the
// one allocation whose failure is a result. Failures of these calls (a
// rename refused, a backup copy that cannot be written, a flush that fails)
// are rare on a healthy machine but each has its own outcome; tests replace
// entries (through SeamOverride) to reach them. The library never changes
// the table, and it is not installed.

#include <windows.h>

#include <aclapi.h>

#include <cstddef>
#include <string>

namespace lumo {
namespace storage {

struct StorageSeam {
  HANDLE(WINAPI *createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI *getFileSizeEx)(HANDLE, PLARGE_INTEGER);
  // Sizes the buffer of a whole-file read; a test makes it run out of
  // memory.
  void (*resizeBuffer)(std::string &, std::size_t);
  BOOL(WINAPI *readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI *writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI *flushFileBuffers)(HANDLE);
  // Only the writer's temporary file is closed through here: its close is
  // the last step that can still report a lost write.
  BOOL(WINAPI *closeHandle)(HANDLE);
  DWORD(WINAPI *getFileAttributes)(LPCWSTR);
  BOOL(WINAPI *moveFileEx)(LPCWSTR, LPCWSTR, DWORD);
  // The pause between attempts to replace a file that a reader has open.
  VOID(WINAPI *sleep)(DWORD);
  BOOL(WINAPI *deleteFile)(LPCWSTR);
  HANDLE(WINAPI *createMutexEx)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
  DWORD(WINAPI *waitForSingleObject)(HANDLE, DWORD);
  BOOL(WINAPI *convertSecurityDescriptor)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
  DWORD(WINAPI *getNamedSecurityInfo)
  (LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *, PSID *, PACL *, PACL *,
   PSECURITY_DESCRIPTOR *);
};

extern StorageSeam storageSeam;

}  // namespace storage
}  // namespace lumo
