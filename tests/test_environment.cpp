// Linked into every test binary: the tests run headless however they are started (from ctest,
// by hand, under a debugger). Values already set in the environment are kept.
#include <cstdlib>

namespace {

struct THeadless {
  THeadless() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
  }
} const g_headless;

}  // namespace
