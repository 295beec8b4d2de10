// Video hook modules: shared objects, loaded with dlopen, that see every decoded video picture
// of a task. A module exports (with C linkage):
//
//   int  Configure(void** ctx, int argc, char* argv[]);   // optional unless words follow the path
//   void Process(void* ctx, TVideoHookPicture* pict, int pix_fmt, int width, int height,
//                int64_t pts);                            // required
//   void Release(void* ctx);                              // optional
//
// argv[0] is the module path and argv[1..] the further words of the "vhook" value; Configure
// returns 0 on success and may store its own context in *ctx, which the other two receive.
// pix_fmt is the libraries' AVPixelFormat, pts in microseconds. The picture may be changed in
// place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
// The picture handed to Process: up to four planes.
struct TVideoHookPicture {
  uint8_t* data[4];
  int linesize[4];
};
typedef int (*TVideoHookConfigure)(void** ctx, int argc, char* argv[]);
typedef void (*TVideoHookProcess)(void* ctx, TVideoHookPicture* pict, int pix_fmt, int width,
                                  int height, int64_t pts);
typedef void (*TVideoHookRelease)(void* ctx);
}

// The words a "vhook" value may hold, module path included.
inline constexpr int MaxVideoHookWords = 64;

// Splits a "vhook" value into its words: at "|" when the value contains one, else at blanks;
// empty words are dropped.
std::vector<std::string> VideoHookWords(const std::string& AValue);

// The video hooks of one engine, in the order added. Main thread while the engine is filled;
// the engine's worker calls Process during the run.
class TVideoHooks {
public:
  TVideoHooks() = default;
  // Calls each hook's Release.
  ~TVideoHooks();
  TVideoHooks(const TVideoHooks&) = delete;
  TVideoHooks& operator=(const TVideoHooks&) = delete;

  // Loads (or reuses: modules stay loaded for the process, one per path) the module of a
  // "vhook" value and configures it. Failures are logged at error level ("Failed to find
  // Process entrypoint in %s", "Failed to find Configure entrypoint in %s", "Failed to
  // Configure %s", the loader's error text, or more words than MaxVideoHookWords) and throw
  // std::runtime_error "Failed to add video hook function: " + AValue.
  void Add(const std::string& AValue);
  // Runs every hook's Process on the picture, in the order added.
  void Process(TVideoHookPicture* APicture, int APixFmt, int AWidth, int AHeight, int64_t APTS);
  // Releases every hook (Release with its context) and empties the list.
  void Clear();
  // Releases the hooks after the first ACount, newest first.
  void Truncate(int ACount);
  int Count() const { return static_cast<int>(hooks_.size()); }

private:
  struct THook {
    std::vector<std::string> words;  // kept alive: Configure may hold on to argv
    TVideoHookConfigure configure = nullptr;
    TVideoHookProcess process = nullptr;
    TVideoHookRelease release = nullptr;
    void* ctx = nullptr;
  };
  std::vector<std::unique_ptr<THook>> hooks_;
};
