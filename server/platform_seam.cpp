#include "server/platform_seam.h"

namespace lumo {
namespace server {

ServerSeam serverSeam = {
    &CreateFileW,  &SetNamedPipeHandleState, &ResetEvent, &SetEvent, &CancelIoEx,
    &GetTickCount, &RegisterWindowMessageW};

}  // namespace server
}  // namespace lumo
