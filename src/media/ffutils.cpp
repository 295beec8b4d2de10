#include "media/ffutils.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string ExeFolder() {
  std::string folder;
  if (const char* home = std::getenv("VARNOSK_HOME"); home && *home) {
    folder = home;
  } else {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    folder = ec ? std::filesystem::current_path(ec).string() : exe.parent_path().string();
  }
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}
