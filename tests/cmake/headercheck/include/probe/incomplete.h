// Hands out a reference to a class it only declares.
#pragma once
#include "probe/ref.h"
namespace cvx {
class Thing;
Ref<Thing> MakeThing();
}  // namespace cvx
