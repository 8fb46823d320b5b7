// Starting Corvex before the runtime has started is a clear error, not a
// silent half start: StartCorvex raises and says what to call first.
#include <cstdio>
#include <cstring>

#include "corvex/app/app.h"
#include "corvex/runtime/error.h"

int main() {
  try {
    cvx::StartCorvex();
  } catch (const cvx::TRuntimeError& error) {
    if (std::strstr(error.what(), "RuntimeStartup") && !cvx::CorvexStarted()) return 0;
    std::fprintf(stderr, "unclear error: %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr, "StartCorvex started without the runtime\n");
  return 1;
}
