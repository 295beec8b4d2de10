// The one way the media core reaches the user-interface ("main") thread.
//
// The core never includes a toolkit. The application installs a dispatcher at start-up (the Qt
// program one built on a blocking queued call, tests and command-line front ends the plain
// TLoopDispatcher below); RunInMainThread and ProcessPendingMessages go through it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TMainThreadDispatcher {
public:
  virtual ~TMainThreadDispatcher() = default;
  // True on the thread that runs the user interface.
  virtual bool IsMainThread() const = 0;
  // Runs fn on the main thread; the calling thread waits until fn has returned.
  // Called only from other threads (RunInMainThread runs fn directly on the main thread).
  virtual void RunSync(const std::function<void()>& fn) = 0;
  // Main thread only: runs the calls that waiting threads have queued and handles pending
  // window events, then returns. Waits on the main thread call this between polls.
  virtual void ProcessPending() = 0;
};

// Installs the process-wide dispatcher (nullptr removes it). Not owned.
void SetMainThreadDispatcher(TMainThreadDispatcher* dispatcher);
TMainThreadDispatcher* MainThreadDispatcher();

// True when there is no dispatcher (a headless process has no separate main thread) or the
// caller is on the dispatcher's main thread.
bool IsMainThread();

// Runs fn in the main thread: directly when the caller is the main thread or no dispatcher is
// installed, otherwise synchronously in the main thread while the caller waits.
void RunInMainThread(const std::function<void()>& fn);

// Main thread only: services pending synchronised calls and window events once. Does nothing
// off the main thread or without a dispatcher.
void ProcessPendingMessages();

// A dispatcher without a toolkit: the thread that creates it is the main thread; calls queued by
// other threads run when that thread calls ProcessPending (or waits in RunPendingFor).
class TLoopDispatcher : public TMainThreadDispatcher {
public:
  TLoopDispatcher();
  ~TLoopDispatcher() override;

  bool IsMainThread() const override;
  void RunSync(const std::function<void()>& fn) override;
  void ProcessPending() override;

  // Main thread: services queued calls until pred() is true (checked after each call and at
  // least every millisecond). Returns pred()'s final value, false after the timeout.
  bool RunPendingUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

private:
  struct Call {
    std::function<void()> fn;
    bool done = false;
  };
  std::thread::id main_;
  std::mutex mutex_;               // protects queue_ and every Call::done
  std::condition_variable cond_;   // signalled when a call is queued or completed
  std::deque<std::shared_ptr<Call>> queue_;
};
