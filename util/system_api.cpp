#include "util/system_api.h"

namespace lumo {

SystemApi systemApi = {&FormatMessageW, &CreateEventW};

}  // namespace lumo
