// Which commands of the main window are enabled in each work state, as one table.
#pragma once

#include <array>

// Command groups whose enabled state the work state decides. Start is split: the stop command
// re-enables the toolbar button but leaves the menu entry as it was.
enum TWorkGroup {
  wgAdd,           // toolbar "添加" and the three add entries
  wgRemoveRename,  // "删除", "删除选择", "重命名", "重新命名"
  wgClear,         // "清空", "清空文件"
  wgStartButton,   // toolbar "开始"
  wgStartMenu,     // menu "开始转换"
  wgStop,          // "停止", "停止转换"
  wgPause,         // "暂停", "暂停转换"
  wgResume,        // "继续", "继续继续"
  wgOutput,        // the output choices (option lists, category, format, "浏览...")
  wgCount
};

enum TWorkTransition {
  wtCreated,     // window created, list empty
  wtFileAdded,
  wtRowRemoved,
  wtListCleared,
  wtRunStarted,
  wtPaused,
  wtResumed,
  wtStopped,
  wtRunEnded,    // final termination of a run
  wtCount
};

class TWorkState {
public:
  TWorkState() { Apply(wtCreated, false); }
  // Applies a transition; hasRows matters only where the table says "on if rows remain".
  void Apply(TWorkTransition transition, bool hasRows);
  bool Enabled(TWorkGroup group) const { return enabled_[group]; }

private:
  std::array<bool, wgCount> enabled_{};
};
