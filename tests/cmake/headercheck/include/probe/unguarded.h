// No include guard: a second inclusion redefines the function.
inline int Unguarded() { return 1; }
