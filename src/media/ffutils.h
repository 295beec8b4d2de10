// Shared helpers of the media components.
#pragma once

#include <string>

// The program folder with a trailing "/": the folder of the running executable, or the folder
// named by the environment variable VARNOSK_HOME when that is set (tests point it at a
// temporary folder). option.ini, LibAV/ and sounds/ are looked up there.
std::string ExeFolder();
