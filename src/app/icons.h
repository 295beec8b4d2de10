// Pictures of the toolbar and panel buttons, drawn at start-up (no image files). Each icon has
// an enabled picture in colour and a disabled picture in grey.
#pragma once

#include <QIcon>

enum class TIconKind {
  Add, Remove, Clear, Start, Stop, Pause, Resume, Options,
  MoveUp, MoveDown, Rename,
  Play, PreviewPause, PreviewStop, MuteOn, MuteOff, Snapshot, Settings,
};

QIcon CommandIcon(TIconKind kind);

// Pictures of the category list (by image index) and of the format list (0 and 1 alternate).
QIcon CategoryImage(int AImageIndex);
QIcon FormatImage(int AImageIndex);
