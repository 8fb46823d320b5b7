// Closes what corvex/runtime/api_begin.h opened (see there). No include guard.
#if defined(__GNUC__) || defined(__clang__)
#pragma GCC visibility pop
#endif
