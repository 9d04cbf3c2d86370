#pragma once
// Lets the compiler check printf-style arguments. mingw-w64's compiler checks `printf` against
// the Microsoft runtime's older rules (no %zu, %lld); the program's own printf family follows C99
// there, so it is checked as GNU printf instead. The one place where the systems' compilers differ.
// A macro, so it has no namespace.

#if defined(__MINGW32__)
#define TX_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define TX_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#endif
