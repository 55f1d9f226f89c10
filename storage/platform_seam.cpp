#include "storage/platform_seam.h"

#include <sddl.h>

namespace lumo {
namespace storage {
namespace {

void resizeBuffer(std::string &bytes, std::size_t size) { bytes.resize(size); }

}  // namespace

StorageSeam storageSeam = {&CreateFileW,
                           &GetFileSizeEx,
                           &resizeBuffer,
                           &ReadFile,
                           &WriteFile,
                           &FlushFileBuffers,
                           &CloseHandle,
                           &GetFileAttributesW,
                           &MoveFileExW,
                           &Sleep,
                           &DeleteFileW,
                           &CreateMutexExW,
                           &WaitForSingleObject,
                           &ConvertStringSecurityDescriptorToSecurityDescriptorW,
                           &GetNamedSecurityInfoW};

}  // namespace storage
}  // namespace lumo
