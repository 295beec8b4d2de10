// varnosk-engine: converts with one engine task of the task manager.
//
//   varnosk-engine --in FILE [--in-opt NAME=VALUE]... [--in FILE ...]... --out FILE
//                  [--opt NAME=VALUE]... [--join] [--hook-test]
//
// Each --in-opt belongs to the --in before it and each --opt to the output; they reach the
// engine as the option text of AddTask / AddInputFile / SetOutputFile. One line per progress
// event, then one line with the termination record. Exit status: 0 when the task finished;
// 1 when an input or the output could not be added, or the task ended without finishing (the
// reason on stderr); 2 on bad usage. SIGINT or SIGTERM stops the task (the output keeps what
// was converted).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/logger.h"
#include "media/task_manager.h"

namespace {

constexpr char kUsage[] =
    "usage: varnosk-engine --in FILE [--in-opt NAME=VALUE]... [--in FILE ...]... --out FILE\n"
    "                      [--opt NAME=VALUE]... [--join] [--hook-test]\n";

struct TInput {
  std::string file;
  std::string options;  // option text, one NAME=VALUE per line
};

struct TCommand {
  std::vector<TInput> inputs;
  std::string output;
  std::string output_options;
  bool join = false;
  bool hook_test = false;
};

// False (with a message on stderr) when the arguments do not form a command.
bool ParseArguments(int argc, char** argv, TCommand& ACommand) {
  auto fail = [](const std::string& AWhy) {
    std::fprintf(stderr, "varnosk-engine: %s\n%s", AWhy.c_str(), kUsage);
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& AOut) {
      if (i + 1 >= argc)
        return false;
      AOut = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--in") {
      if (!value(v) || v.empty())
        return fail("--in needs a file");
      ACommand.inputs.push_back({v, {}});
    } else if (arg == "--in-opt" || arg == "--opt") {
      if (!value(v) || v.find('=') == std::string::npos || v.front() == '=')
        return fail(arg + " needs NAME=VALUE");
      if (arg == "--opt") {
        ACommand.output_options += v + "\n";
      } else {
        if (ACommand.inputs.empty())
          return fail("--in-opt before any --in");
        ACommand.inputs.back().options += v + "\n";
      }
    } else if (arg == "--out") {
      if (!value(v) || v.empty() || !ACommand.output.empty())
        return fail("--out needs one file");
      ACommand.output = v;
    } else if (arg == "--join") {
      ACommand.join = true;
    } else if (arg == "--hook-test") {
      ACommand.hook_test = true;
    } else {
      return fail("unknown argument " + arg);
    }
  }
  if (ACommand.inputs.empty())
    return fail("no input");
  if (ACommand.output.empty())
    return fail("no output");
  return true;
}

std::atomic<bool> interrupted{false};
void OnSignal(int) { interrupted = true; }

std::mutex out_mutex;  // one line at a time on stdout and stderr

// The hook of --hook-test: a white box over the top-left quarter of every picture.
void DrawTestBox(TBitmap24& ABitmap) {
  for (int y = 0; y < ABitmap.Height() / 2; ++y) {
    uint8_t* row = ABitmap.Row(y);
    std::memset(row, 255, static_cast<size_t>(ABitmap.Width() / 2) * 3);
  }
}

}  // namespace

int main(int argc, char** argv) {
  TCommand command;
  if (!ParseArguments(argc, argv, command))
    return 2;

  LoggerInstance().SetLogLevel(llWarning);
  LoggerInstance().SetTriggerEventInMainThread(false);
  LoggerInstance().SetOnLog([](const void*, uint32_t, TLogLevel ALevel, const std::string& AText) {
    if (ALevel > llWarning)
      return;
    std::lock_guard lock(out_mutex);
    std::fprintf(stderr, "%s%s", AText.c_str(),
                 !AText.empty() && AText.back() == '\n' ? "" : "\n");
  });

  TTaskManager tm;
  if (!tm.LoadAVLib("")) {
    std::fprintf(stderr, "%s\n", tm.LastErrMsg().c_str());
    return 1;
  }
  tm.SetTriggerEventInMainThread(false);
  const std::string hook = command.hook_test ? "Hook\n" : "";
  const std::string join = command.join ? "Join\n" : "";
  const int task = tm.AddTask(command.inputs[0].file, command.inputs[0].options);
  if (task < 0) {
    std::fprintf(stderr, "%s\n", tm.LastErrMsg().c_str());
    return 1;
  }
  for (size_t i = 1; i < command.inputs.size(); ++i)
    if (!tm.AddInputFile(task, command.inputs[i].file, command.inputs[i].options)) {
      std::fprintf(stderr, "%s\n", tm.LastErrMsg().c_str());
      return 1;
    }
  if (!tm.SetOutputFile(task, command.output, command.output_options + hook + join)) {
    std::fprintf(stderr, "%s\n", tm.LastErrMsg().c_str());
    return 1;
  }

  if (command.hook_test)
    tm.SetOnCustomHook([](TCustomTaskManager*, THookInfo* AInfo) {
      DrawTestBox(*AInfo->Bitmap);
      AInfo->Update = true;
    });
  tm.SetOnProgress([](TCustomTaskManager*, TProgressInfo* AInfo) {
    std::lock_guard lock(out_mutex);
    std::printf("frame=%5d fps=%3d q=%3.1f size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s"
                " total=%0.2f file=%d\n",
                AInfo->FrameNumber, AInfo->FPS, AInfo->Quality, AInfo->CurrentSize / 1024.0,
                AInfo->CurrentDuration / 1e6, AInfo->BitRate,
                AInfo->TotalDuration < 0 ? -1.0 : AInfo->TotalDuration / 1e6, AInfo->FileIndex);
    std::fflush(stdout);
  });
  std::mutex done_mutex;
  std::condition_variable done_cond;
  bool done = false;
  TTerminateInfo result;
  tm.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    std::lock_guard lock(done_mutex);
    if (AInfo.TaskIndex >= 0) {
      result = AInfo;
      return;
    }
    done = true;
    done_cond.notify_all();
  });

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  tm.Start(1);
  bool stopped = false;
  {
    std::unique_lock lock(done_mutex);
    while (!done) {
      done_cond.wait_for(lock, std::chrono::milliseconds(50));
      if (interrupted && !stopped) {
        stopped = true;
        lock.unlock();
        tm.Stop(true);
        lock.lock();
      }
    }
  }
  {
    std::lock_guard lock(out_mutex);
    std::printf("TaskIndex=%d Finished=%s Exception=%s ExceptionMsg=%s\n", result.TaskIndex,
                result.Finished ? "True" : "False", result.Exception ? "True" : "False",
                result.ExceptionMsg.c_str());
    std::fflush(stdout);
    if (!result.Finished)
      std::fprintf(stderr, "%s\n",
                   result.Exception ? result.ExceptionMsg.c_str() : "stopped before the end");
  }
  return result.Finished ? 0 : 1;
}
