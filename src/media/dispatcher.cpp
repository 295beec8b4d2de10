#include "media/dispatcher.h"

#include <atomic>

namespace {
std::atomic<TMainThreadDispatcher*> g_dispatcher{nullptr};
}

void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher) { g_dispatcher = dispatcher; }

TMainThreadDispatcher* MainThreadDispatcher() { return g_dispatcher; }

bool IsMainThread() {
  TMainThreadDispatcher* d = g_dispatcher;
  return !d || d->IsMainThread();
}

void RunInMainThread(const std::function<void()>& fn) {
  TMainThreadDispatcher* d = g_dispatcher;
  if (!d || d->IsMainThread())
    fn();
  else
    d->RunSync(fn);
}

void ProcessPendingMessages() {
  TMainThreadDispatcher* d = g_dispatcher;
  if (d && d->IsMainThread())
    d->ProcessPending();
}

TLoopDispatcher::TLoopDispatcher() : main_(std::this_thread::get_id()) {}

TLoopDispatcher::~TLoopDispatcher() {
  if (MainThreadDispatcher() == this)
    SetMainThreadDispatcher(nullptr);
}

bool TLoopDispatcher::IsMainThread() const { return std::this_thread::get_id() == main_; }

void TLoopDispatcher::RunSync(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<Call>();
  call->fn = fn;
  std::unique_lock lock(mutex_);
  queue_.push_back(call);
  cond_.notify_all();
  cond_.wait(lock, [&] { return call->done; });
}

void TLoopDispatcher::ProcessPending() {
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    auto call = queue_.front();
    queue_.pop_front();
    lock.unlock();
    call->fn();
    lock.lock();
    call->done = true;
    cond_.notify_all();
  }
}

bool TLoopDispatcher::RunPendingUntil(const std::function<bool()>& pred,
                                      std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ProcessPending();
    if (pred())
      return true;
    std::unique_lock lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    cond_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !queue_.empty(); });
  }
}
