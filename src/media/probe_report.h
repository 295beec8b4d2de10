// The media probe as a command-line tool: `varnosk --probe FILE...`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Writes, for each file in order, its information text, or "***File load error: " and the
// probe's last error text when the probe refuses the file. Returns 0 when every file loaded,
// 1 otherwise; without files it writes a usage line and returns 1.
int RunProbeCommand(const std::vector<std::string>& files, std::ostream& out);
