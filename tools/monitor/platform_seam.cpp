#include "platform_seam.h"

namespace lumo {
namespace tools {

MonitorSeam monitorSeam = {&PostThreadMessageW};

}  // namespace tools
}  // namespace lumo
