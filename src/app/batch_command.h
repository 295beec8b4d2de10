// `varnosk --batch`: the window's add commands and run without showing a window.
#pragma once

#include <QStringList>

// Runs a batch with the arguments that follow "--batch"; returns the exit code: 0 when every
// row finished, 1 otherwise, 2 for bad usage (a usage text goes to standard error).
int RunBatchCommand(const QStringList& AArguments);
