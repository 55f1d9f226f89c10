#pragma once

// Marks a function that takes a format of the system C runtime (msvcrt), so
// that the compiler checks its arguments. GCC knows that runtime's formats
// as ms_printf; Clang, for a Windows target, as printf.
#if defined(__clang__)
#define LUMO_CHECKED_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define LUMO_CHECKED_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(ms_printf, formatIndex, firstArgument)))
#endif
