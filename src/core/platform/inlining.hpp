// Where the compiler's own choice costs a hot path: kept out of line (a rare
// path that would make its caller save registers), or always inlined.
#pragma once

#if defined(_MSC_VER)
#define VORNA_NOINLINE __declspec(noinline)
#define VORNA_ALWAYS_INLINE __forceinline
#else
#define VORNA_NOINLINE [[gnu::noinline]]
#define VORNA_ALWAYS_INLINE [[gnu::always_inline]] inline
#endif
