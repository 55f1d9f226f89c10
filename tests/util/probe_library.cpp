#include <cstdint>

extern "C" __declspec(dllexport) std::intptr_t probeValue() { return 42; }
