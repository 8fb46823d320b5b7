// Included by every public header of the framework before its declarations,
// paired with corvex/runtime/api_end.h after them. The libraries are built with
// symbols hidden by default; what lies between the two is the framework's
// interface and keeps default visibility, so that a shared build exports exactly
// what the headers declare. No include guard: every header includes it.
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC visibility push(default)
#endif
