// Includes what it uses, has an include guard, and defines the class it
// declares ahead and hands out by reference.
#pragma once
#include <string>

#include "probe/detail.h"
#include "probe/ref.h"
inline std::string Complete() { return std::string(Detail()) + "x"; }
namespace cvx {
class Later;
Ref<Later> MakeLater();
class Later {
 public:
  void Release() {}
};
}  // namespace cvx
