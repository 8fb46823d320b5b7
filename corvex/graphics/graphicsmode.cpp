#include "corvex/graphics/graphics.h"

namespace cvx {

String TGraphicsMode::ToString() {
  return String::OfInt(width) + ","_s + String::OfInt(height) + ","_s + String::OfInt(depth) + " "_s +
         String::OfInt(hertz) + "Hz"_s;
}

}  // namespace cvx
