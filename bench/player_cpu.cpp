// Measures the CPU time the preview player uses to play a clip to its end, headless: pictures
// go to an in-memory render target of the clip's size, sound to SDL's dummy driver.
//
//   player_cpu <clip> [width height]
//
// Prints the wall time and the process's user and system CPU time from opening to the end.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "media/dispatcher.h"
#include "media/ffutils.h"
#include "media/player.h"
#include "media/render_target.h"

namespace {
double CpuSeconds(int AWho, double* AUser, double* ASystem) {
  rusage usage{};
  ::getrusage(AWho, &usage);
  *AUser = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  *ASystem = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  return *AUser + *ASystem;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: player_cpu <clip> [width height]\n");
    return 2;
  }
  const int width = argc > 3 ? std::atoi(argv[2]) : 640;
  const int height = argc > 3 ? std::atoi(argv[3]) : 480;
  TLoopDispatcher loop;
  SetMainThreadDispatcher(&loop);
  TPreviewPlayer player;
  if (!player.LoadAVLib(ExeFolder() + "LibAV")) {
    std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
    return 1;
  }
  TMemoryRenderTarget target(width, height);
  std::atomic<bool> ended{false};
  player.SetOnState([&](TCustomPlayer*, TPlayState AState) { ended = ended || AState == psEnd; });

  double user0, sys0, user1, sys1;
  CpuSeconds(RUSAGE_SELF, &user0, &sys0);
  const auto start = std::chrono::steady_clock::now();
  if (!player.Open(argv[1], &target, false)) {
    std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
    return 1;
  }
  loop.RunPendingUntil([&] { return ended.load(); }, std::chrono::minutes(5));
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  CpuSeconds(RUSAGE_SELF, &user1, &sys1);
  const int pictures = target.PictureCount();
  player.Stop(true);
  SetMainThreadDispatcher(nullptr);

  const double cpu = (user1 - user0) + (sys1 - sys0);
  std::printf("pictures shown: %d\n", pictures);
  std::printf("wall: %.2f s, cpu: %.2f s (user %.2f s, system %.2f s), %.1f %% of one core\n",
              wall, cpu, user1 - user0, sys1 - sys0, 100.0 * cpu / wall);
  return ended ? 0 : 1;
}
