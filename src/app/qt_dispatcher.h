// The Qt side of the media core's main-thread dispatcher: a worker's call runs on the GUI
// thread through a blocking queued invocation; waits on the GUI thread process pending events.
#pragma once

#include "media/dispatcher.h"

class TQtDispatcher : public TMainThreadDispatcher {
public:
  // Installs itself as the process dispatcher; the application object must exist.
  TQtDispatcher();
  ~TQtDispatcher() override;

  bool IsMainThread() const override;
  void RunSync(const std::function<void()>& fn) override;
  void ProcessPending() override;
};
