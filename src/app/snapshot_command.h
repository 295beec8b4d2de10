// `varnosk --snapshot-at SECONDS FILE OUT`: the preview player's picture at a position, written
// without a window.
#pragma once

#include <QStringList>

// AArguments: SECONDS FILE OUT. Returns 0 when the picture was written, 1 with a message when
// the file has no picture there or cannot be read or written, 2 for bad usage.
int RunSnapshotAtCommand(const QStringList& AArguments);
