// A video hook module for the hook tests, built in three variants: complete (Configure,
// Process, Release), without Process, and without Configure. Its counters are read by the
// test through SampleState.
#include <cstdint>
#include <cstring>

#include "media/video_hook.h"

namespace {

struct TState {
  int configured = 0;
  int processed = 0;
  int released = 0;
  int last_argc = 0;
  char last_words[256] = {};  // the words joined with "|"
  int64_t last_pts = 0;
};
TState g_state;

}  // namespace

extern "C" {

TState* SampleState() { return &g_state; }

#ifndef HOOK_VARIANT_noconfigure
// Fails when one of the words is "fail"; otherwise keeps a context that Process checks.
int Configure(void** ctx, int argc, char* argv[]) {
  ++g_state.configured;
  g_state.last_argc = argc;
  g_state.last_words[0] = '\0';
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "fail") == 0)
      return 1;
    if (i > 0)
      std::strncat(g_state.last_words, "|", sizeof g_state.last_words - 1 - std::strlen(g_state.last_words));
    std::strncat(g_state.last_words, argv[i], sizeof g_state.last_words - 1 - std::strlen(g_state.last_words));
  }
  *ctx = &g_state;
  return 0;
}
#endif

#ifndef HOOK_VARIANT_noprocess
// Counts the picture and writes its frame count into the first byte.
void Process(void* ctx, TVideoHookPicture* pict, int, int, int, int64_t pts) {
  (void)ctx;
  ++g_state.processed;
  g_state.last_pts = pts;
  pict->data[0][0] = static_cast<uint8_t>(g_state.processed);
}
#endif

void Release(void*) { ++g_state.released; }
}
