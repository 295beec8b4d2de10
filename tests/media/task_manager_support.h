// Fixtures for the engine and task-manager tests: temporary folders, generated files, a FIFO
// that feeds raw sound until told to stop (so a task runs until the test lets it end), a
// recorder of task-manager events that can hold a worker inside its progress handler, and a
// watchdog that turns a deadlock into a failure.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixtures.h"
#include "media/task_manager.h"

namespace tmtest {

using namespace std::chrono_literals;

// Generous: the tests run on a loaded 2-core machine, under sanitizers too.
constexpr auto kTimeout = std::chrono::seconds(60);

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnosk-tm-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
      throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& AName) const { return path_ + "/" + AName; }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

inline std::string RandomBytes(size_t ASize, unsigned ASeed) {
  std::mt19937 gen(ASeed);
  std::string data(ASize, '\0');
  for (char& c : data)
    c = static_cast<char>(gen());
  return data;
}

inline void WriteFile(const std::string& APath, const std::string& AData) {
  std::ofstream out(APath, std::ios::binary);
  out << AData;
}

inline std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& APath) { return std::filesystem::exists(APath); }

// Polls APred until it holds; false after ATimeout.
inline bool WaitUntil(const std::function<bool()>& APred,
                      std::chrono::milliseconds ATimeout = kTimeout) {
  auto deadline = std::chrono::steady_clock::now() + ATimeout;
  while (!APred()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A FIFO that a feeder thread keeps writing to until Finish: an input that never ends by
// itself, so a task reading it runs (and its loop keeps turning) until the test ends it.
// Finish closes the only write end: the reader then gets the buffered data and the end.
// The bytes are raw sound: open it with the input option text kEndlessFormat.
inline constexpr char kEndlessFormat[] = "f=s16le";

class EndlessSource {
public:
  explicit EndlessSource(const std::string& APath) : path_(APath) {
    if (::mkfifo(APath.c_str(), 0600) != 0)
      throw std::runtime_error("mkfifo failed");
    // Opened for reading and writing, so the engine's open for reading does not block and
    // writes never fail for want of a reader.
    fd_ = ::open(APath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
      throw std::runtime_error("cannot open fifo");
    feeder_ = std::thread([this] {
      std::string chunk(4096, 'x');
      while (!stop_) {
        ssize_t n = ::write(fd_, chunk.data(), chunk.size());  // EAGAIN when full: try later
        (void)n;
        std::this_thread::sleep_for(2ms);
      }
    });
  }
  ~EndlessSource() { Finish(); }
  void Finish() {
    stop_ = true;
    if (feeder_.joinable())
      feeder_.join();
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread feeder_;
};

// Aborts the test program when the guarded scope does not end within ALimit (a deadlock would
// otherwise hang the run).
class Watchdog {
public:
  Watchdog(std::chrono::seconds ALimit, std::string AWhat) : what_(std::move(AWhat)) {
    thread_ = std::thread([this, ALimit] {
      std::unique_lock lock(mutex_);
      if (!cond_.wait_for(lock, ALimit, [this] { return done_; })) {
        std::fprintf(stderr, "watchdog: %s did not finish in time\n", what_.c_str());
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cond_.notify_all();
    thread_.join();
  }

private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable cond_;
  bool done_ = false;
  std::thread thread_;
};

// Records the task manager's progress and termination events. A task counts as alive from its
// first progress report to its final one. HoldNext makes the next progress handler call wait
// (on the thread that runs it) until Release.
class RunLog {
public:
  void Attach(TCustomTaskManager& ATM) {
    ATM.SetOnProgress([this](TCustomTaskManager*, TProgressInfo* AInfo) { OnProgress(*AInfo); });
    ATM.SetOnTerminate(
        [this](TCustomTaskManager*, const TTerminateInfo& AInfo) { OnTerminate(AInfo); });
  }

  // Waits until APred (called with the lock held) holds.
  bool Wait(const std::function<bool()>& APred, std::chrono::milliseconds ATimeout = kTimeout) {
    std::unique_lock lock(mutex_);
    return cond_.wait_for(lock, ATimeout, APred);
  }
  void With(const std::function<void()>& AUse) {
    std::lock_guard lock(mutex_);
    AUse();
  }
  template <class T>
  T Read(const std::function<T()>& AGet) {
    std::lock_guard lock(mutex_);
    return AGet();
  }

  void HoldNext() {
    std::lock_guard lock(mutex_);
    hold_ = true;
  }
  bool WaitHeld() {
    return Wait([this] { return held_; });
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      release_ = true;
    }
    cond_.notify_all();
  }

  // Everything below is read under the lock (Wait / Read).
  std::vector<TTerminateInfo> terms;
  std::vector<std::thread::id> term_threads;
  std::vector<TProgressInfo> progress;  // every report, in order
  std::map<int, int> reports;           // non-final reports per task
  std::set<int> started;                // tasks that reported
  std::set<int> ended;                  // tasks that made their final report
  std::vector<int> start_order;
  int alive = 0;
  int max_alive = 0;
  std::vector<std::thread::id> progress_threads;
  int held_task = -2;

  int TermCount(int ATaskIndex) const {
    return static_cast<int>(std::count_if(terms.begin(), terms.end(), [&](const TTerminateInfo& t) {
      return t.TaskIndex == ATaskIndex;
    }));
  }
  const TTerminateInfo* TermOf(int ATaskIndex) const {
    for (const auto& t : terms)
      if (t.TaskIndex == ATaskIndex)
        return &t;
    return nullptr;
  }

private:
  void OnProgress(const TProgressInfo& AInfo) {
    std::unique_lock lock(mutex_);
    progress.push_back(AInfo);
    progress_threads.push_back(std::this_thread::get_id());
    int task = AInfo.TaskIndex;
    if (started.insert(task).second) {
      start_order.push_back(task);
      max_alive = std::max(max_alive, ++alive);
    }
    if (AInfo.FileIndex >= 0) {
      ++reports[task];
    } else if (ended.insert(task).second) {
      --alive;
    }
    cond_.notify_all();
    if (hold_) {
      hold_ = false;
      held_ = true;
      held_task = task;
      cond_.notify_all();
      cond_.wait(lock, [this] { return release_; });
      release_ = false;
      held_ = false;
    }
  }
  void OnTerminate(const TTerminateInfo& AInfo) {
    std::lock_guard lock(mutex_);
    terms.push_back(AInfo);
    term_threads.push_back(std::this_thread::get_id());
    cond_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable cond_;
  bool hold_ = false;
  bool held_ = false;
  bool release_ = false;
};

// A task manager that lets tests reach its task list.
class TestTaskManager : public TTaskManager {
public:
  using TCustomTaskManager::FFmpegList;
  using TCustomTaskManager::DoCustomHook;
};

}  // namespace tmtest
