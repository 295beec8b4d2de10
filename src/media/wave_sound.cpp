#include "media/wave_sound.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

// One sound at a time. The thread waits until SDL has played what was queued, then closes the
// device and releases the audio subsystem.
class TWavePlayer {
public:
  ~TWavePlayer() { Stop(); }

  bool Play(const std::string& APath) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(APath, ec))
      return false;
    Stop();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
      return false;
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(APath.c_str(), &spec, &buffer, &length)) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    spec.callback = nullptr;  // queued playback
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &spec, nullptr, 0);
    if (device == 0 || SDL_QueueAudio(device, buffer, length) != 0) {
      if (device)
        SDL_CloseAudioDevice(device);
      SDL_FreeWAV(buffer);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_FreeWAV(buffer);
    SDL_PauseAudioDevice(device, 0);
    stop_ = false;
    thread_ = std::thread([this, device] {
      while (!stop_ && SDL_GetQueuedAudioSize(device) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (!stop_)  // let the device play out its last buffer
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      SDL_CloseAudioDevice(device);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    });
    return true;
  }

  void Stop() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
  }

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::mutex g_mutex;  // protects g_player
TWavePlayer g_player;

}  // namespace

bool PlayWaveAsync(const std::string& APath) {
  std::lock_guard lock(g_mutex);
  return g_player.Play(APath);
}

void StopWave() {
  std::lock_guard lock(g_mutex);
  g_player.Stop();
}
