#include "util/platform_seam.h"

namespace lumo {

UtilSeam utilSeam = {&FormatMessageW, &CreateEventW};

}  // namespace lumo
