#pragma once

// Data in the ".shared" section has one copy for every process that maps
// the library: one installation per build for the whole desktop. GCC marks
// the section shared from the attribute; Clang ignores that part of it, so
// there the linker marks it (lumo_shared_section in cmake/).
#if defined(__clang__)
#define SHARED_STATE __attribute__((section(".shared")))
#else
#define SHARED_STATE __attribute__((section(".shared"), shared))
#endif
