#include "media/video_hook.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include <dlfcn.h>

#include "media/logger.h"

namespace {

// Modules loaded in this process, by path. They are never unloaded: hooks of other engines
// may still point into them.
std::mutex& ModuleLock() {
  static std::mutex lock;
  return lock;
}

std::map<std::string, void*>& LoadedModules() {  // under ModuleLock()
  static auto* modules = new std::map<std::string, void*>();
  return *modules;
}

// The handle of the module at APath, loading it on first use; null with the loader's error
// text in AError.
void* ModuleHandle(const std::string& APath, std::string& AError) {
  std::lock_guard lock(ModuleLock());
  auto& modules = LoadedModules();
  auto it = modules.find(APath);
  if (it != modules.end())
    return it->second;
  dlerror();
  void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    AError = text ? text : "cannot load " + APath;
    return nullptr;
  }
  modules.emplace(APath, handle);
  return handle;
}

template <class F>
F Symbol(void* AHandle, const char* AName) {
  return reinterpret_cast<F>(dlsym(AHandle, AName));
}

}  // namespace

std::vector<std::string> VideoHookWords(const std::string& AValue) {
  const bool bar = AValue.find('|') != std::string::npos;
  auto separator = [bar](char c) { return bar ? c == '|' : (c == ' ' || c == '\t'); };
  std::vector<std::string> words;
  std::string word;
  for (char c : AValue) {
    if (separator(c)) {
      if (!word.empty())
        words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty())
    words.push_back(std::move(word));
  return words;
}

TVideoHooks::~TVideoHooks() { Clear(); }

void TVideoHooks::Add(const std::string& AValue) {
  auto fail = [&AValue](const std::string& AReason) {
    if (!AReason.empty())
      LoggerInstance().Log(nullptr, llError, AReason);
    throw std::runtime_error("Failed to add video hook function: " + AValue);
  };
  auto hook = std::make_unique<THook>();
  hook->words = VideoHookWords(AValue);
  if (hook->words.empty())
    fail("");
  if (static_cast<int>(hook->words.size()) > MaxVideoHookWords)
    fail("Too many words in video hook (at most " + std::to_string(MaxVideoHookWords) + ")");
  const std::string& path = hook->words[0];
  std::string error;
  void* handle = ModuleHandle(path, error);
  if (!handle)
    fail(error);
  hook->configure = Symbol<TVideoHookConfigure>(handle, "Configure");
  hook->process = Symbol<TVideoHookProcess>(handle, "Process");
  hook->release = Symbol<TVideoHookRelease>(handle, "Release");
  if (!hook->process)
    fail("Failed to find Process entrypoint in " + path + "\n");
  const int argc = static_cast<int>(hook->words.size());
  if (!hook->configure && argc > 1)
    fail("Failed to find Configure entrypoint in " + path + "\n");
  if (hook->configure) {
    char* argv[MaxVideoHookWords + 1] = {};
    for (int i = 0; i < argc; ++i)
      argv[i] = hook->words[i].data();
    if (hook->configure(&hook->ctx, argc, argv) != 0) {
      // A failed Configure owns nothing the engine would release.
      fail("Failed to Configure " + path + "\n");
    }
  }
  hooks_.push_back(std::move(hook));
}

void TVideoHooks::Process(TVideoHookPicture* APicture, int APixFmt, int AWidth, int AHeight,
                          int64_t APTS) {
  for (const auto& hook : hooks_)
    hook->process(hook->ctx, APicture, APixFmt, AWidth, AHeight, APTS);
}

void TVideoHooks::Clear() {
  for (const auto& hook : hooks_)
    if (hook->release)
      hook->release(hook->ctx);
  hooks_.clear();
}

void TVideoHooks::Truncate(int ACount) {
  while (Count() > ACount && Count() > 0) {
    if (hooks_.back()->release)
      hooks_.back()->release(hooks_.back()->ctx);
    hooks_.pop_back();
  }
}
