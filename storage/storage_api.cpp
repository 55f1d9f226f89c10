#include "storage/storage_api.h"

#include <sddl.h>

namespace lumo {
namespace storage {

StorageApi storageApi = {&CreateFileW,
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
