// A counted reference in the shape of cvx::Ref: dropping one needs the class.
#pragma once
namespace cvx {
template <class T>
struct Ref {
  ~Ref() {
    if (p) p->Release();
  }
  T* p = nullptr;
};
}  // namespace cvx
