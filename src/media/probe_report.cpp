#include "media/probe_report.h"

#include <exception>

#include "media/ffutils.h"
#include "media/media_probe.h"

int RunProbeCommand(const std::vector<std::string>& files, std::ostream& out) {
  if (files.empty()) {
    out << "Usage: varnosk --probe FILE...\n";
    return 1;
  }
  int result = 0;
  TCustomMediaProbe probe;
  bool libraries = probe.LoadAVLib(ExeFolder() + "LibAV");
  for (const auto& file : files) {
    bool loaded = false;
    try {
      loaded = libraries && probe.LoadFile(file);
    } catch (const std::exception& e) {
      out << "***File load error: " << e.what() << "\n";
      result = 1;
      continue;
    }
    if (loaded)
      out << probe.FileInfoText();
    else
      out << "***File load error: " << probe.LastErrMsg() << "\n";
    if (!loaded)
      result = 1;
    probe.CloseFile();
  }
  return result;
}
