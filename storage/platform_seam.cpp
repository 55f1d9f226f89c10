#include "storage/platform_seam.h"

#include <sddl.h>

namespace lumo {
namespace storage {

StorageSeam storageSeam = {&CreateFileW,
                           &GetFileSizeEx,
                           &ReadFile,
                           &WriteFile,
                           &FlushFileBuffers,
                           &CloseHandle,
                           &GetFileAttributesW,
                           &MoveFileExW,
                           &Sleep,
                           &DeleteFileW,
                           &CreateMutexW,
                           &WaitForSingleObject,
                           &ConvertStringSecurityDescriptorToSecurityDescriptorW,
                           &GetNamedSecurityInfoW};

}  // namespace storage
}  // namespace lumo
