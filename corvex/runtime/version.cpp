#include "corvex/version.h"

namespace cvx {

const char* Version() { return CORVEX_VERSION_STRING; }

}  // namespace cvx
