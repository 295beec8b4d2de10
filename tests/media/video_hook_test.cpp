// Video hook modules: splitting the value into words, loading with dlopen (once per path),
// the entry points and their refusals, the per-frame call and the release.
#include <dlfcn.h>

#include "engine_option_support.h"
#include "media/video_hook.h"

using namespace opttest;

namespace {

struct TSampleState {
  int configured;
  int processed;
  int released;
  int last_argc;
  char last_words[256];
  int64_t last_pts;
};

// The counters of a sample module (loading it if this process has not yet).
TSampleState* State(const char* APath) {
  void* handle = dlopen(APath, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  auto state = reinterpret_cast<TSampleState* (*)()>(dlsym(handle, "SampleState"));
  return state ? state() : nullptr;
}

const std::string kFull = VIDEO_HOOK_FULL;
const std::string kNoProcess = VIDEO_HOOK_NOPROCESS;
const std::string kNoConfigure = VIDEO_HOOK_NOCONFIGURE;

}  // namespace

TEST(VideoHookWords, SplitAtBarsOrBlanks) {
  using W = std::vector<std::string>;
  EXPECT_EQ(VideoHookWords("/m.so a  b"), (W{"/m.so", "a", "b"}));
  EXPECT_EQ(VideoHookWords("/my dir/m.so|a b||c"), (W{"/my dir/m.so", "a b", "c"}));
  EXPECT_EQ(VideoHookWords(""), W{});
  EXPECT_EQ(VideoHookWords(" | "), (W{" ", " "}));
  EXPECT_EQ(VideoHookWords("   "), W{});
}

class VideoHooks : public EngineTest {};

TEST_F(VideoHooks, ConfigureProcessRelease) {
  TSampleState* state = State(kFull.c_str());
  ASSERT_NE(state, nullptr);
  const int configured = state->configured;
  const int released = state->released;

  engine.ParseOption("vhook", kFull + " -x 3");
  EXPECT_TRUE(engine.UsingVideoHooks());
  EXPECT_EQ(state->configured, configured + 1);
  EXPECT_EQ(state->last_argc, 3);
  EXPECT_EQ(std::string(state->last_words), kFull + "|-x|3");

  // The same module again is the same loaded module.
  engine.ParseOption("vhook", kFull + "|second");
  EXPECT_EQ(state->configured, configured + 2);
  EXPECT_EQ(engine.VideoHooks().Count(), 2);

  uint8_t plane[16] = {};
  TVideoHookPicture picture{{plane, nullptr, nullptr, nullptr}, {16, 0, 0, 0}};
  const int processed = state->processed;
  engine.VideoHooks().Process(&picture, 0, 4, 4, 123456);
  EXPECT_EQ(state->processed, processed + 2);  // both hooks, in order
  EXPECT_EQ(plane[0], static_cast<uint8_t>(processed + 2));
  EXPECT_EQ(state->last_pts, 123456);

  engine.InitEngine();  // options reset: every hook released
  EXPECT_EQ(state->released, released + 2);
  EXPECT_FALSE(engine.UsingVideoHooks());
}

TEST_F(VideoHooks, Refusals) {
  struct Case {
    std::string value;
    std::string logged;
  };
  const Case cases[] = {
      {kFull + " fail", "Failed to Configure " + kFull},
      {kNoProcess, "Failed to find Process entrypoint in " + kNoProcess},
      {kNoConfigure + " word", "Failed to find Configure entrypoint in " + kNoConfigure},
      {"/nonexistent/hook.so", "/nonexistent/hook.so"},
      {"", ""},
  };
  for (const Case& c : cases) {
    ClearLog();
    EXPECT_EQ(ErrorOf([&] { engine.ParseOption("vhook", c.value); }),
              "Failed to add video hook function: " + c.value);
    if (!c.logged.empty()) {
      EXPECT_TRUE(Logged(llError, c.logged)) << c.value;
    }
  }
  EXPECT_FALSE(engine.UsingVideoHooks());
}

TEST_F(VideoHooks, WithoutConfigureOnlyThePath) {
  TSampleState* state = State(kNoConfigure.c_str());
  engine.ParseOption("vhook", kNoConfigure);
  uint8_t plane[4] = {};
  TVideoHookPicture picture{{plane, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  const int processed = state->processed;
  engine.VideoHooks().Process(&picture, 0, 2, 2, 0);
  EXPECT_EQ(state->processed, processed + 1);
}

TEST_F(VideoHooks, AtMost64Words) {
  std::string value = kFull;
  for (int i = 1; i < MaxVideoHookWords; ++i)
    value += " w" + std::to_string(i);
  TSampleState* state = State(kFull.c_str());
  engine.ParseOption("vhook", value);
  EXPECT_EQ(state->last_argc, 64);
  EXPECT_EQ(ErrorOf([&] { engine.ParseOption("vhook", value + " w64"); }),
            "Failed to add video hook function: " + value + " w64");
  EXPECT_TRUE(Logged(llError, "Too many words in video hook (at most 64)"));
  EXPECT_EQ(engine.VideoHooks().Count(), 1);
}

TEST_F(VideoHooks, ARefusedRecordReleasesTheHooksItAdded) {
  TSampleState* state = State(kFull.c_str());
  const int released = state->released;
  TOutputOptions rec;
  rec.ExtOptions = "vhook=" + kFull + "\nqscale=0";
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputRecord(rec); }), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(engine.VideoHooks().Count(), 0);
  EXPECT_EQ(state->released, released + 1);
}
