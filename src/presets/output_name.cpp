#include "presets/output_name.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A hard limit on the numbered names tried, so a predicate that claims every name cannot loop
// forever.
constexpr int kMaxNumberedNames = 100000;

// Position of the extension's "." in a file name, or npos. A leading "." starts a hidden
// file's name, not an extension.
size_t ExtensionDot(std::string_view AName) {
  size_t dot = AName.rfind('.');
  return dot == 0 ? std::string_view::npos : dot;
}

std::string JoinPath(const std::string& AFolder, const std::string& AName) {
  if (AFolder.empty() || AFolder.back() == '/') return AFolder + AName;
  return AFolder + "/" + AName;
}

// True when something (a file, a folder, or a link, even a dangling one) is at APath.
bool Occupied(const std::string& APath) {
  std::error_code ec;
  auto st = fs::symlink_status(APath, ec);
  return !ec && st.type() != fs::file_type::not_found;
}

// True when writing to ACandidate would write into the input file.
bool IsInputItself(const std::string& ACandidate, const std::string& AInput) {
  std::error_code ec;
  if (fs::equivalent(ACandidate, AInput, ec)) return true;  // same file, links followed
  std::error_code ec1, ec2;
  fs::path a = fs::weakly_canonical(fs::absolute(ACandidate, ec1), ec1);
  fs::path b = fs::weakly_canonical(fs::absolute(AInput, ec2), ec2);
  return !ec1 && !ec2 && a == b;
}

}  // namespace

std::string FileNamePart(std::string_view APath) {
  size_t slash = APath.rfind('/');
  return std::string(slash == std::string_view::npos ? APath : APath.substr(slash + 1));
}

std::string ReplaceFileExt(std::string_view AFileName, std::string_view AExt) {
  size_t slash = AFileName.rfind('/');
  size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  size_t dot = ExtensionDot(AFileName.substr(name_start));
  std::string result(dot == std::string_view::npos ? AFileName
                                                   : AFileName.substr(0, name_start + dot));
  result += AExt;
  return result;
}

std::string OutputFileName(const std::string& AOutputFolder, const std::string& AInputPath,
                           const std::string& AExt, TOverwriteChoice AOverwrite,
                           const TNameTaken& ATaken) {
  std::string name = FileNamePart(AInputPath);
  if (name.empty()) return {};
  size_t dot = ExtensionDot(name);
  std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  auto taken = [&](const std::string& path) { return ATaken && ATaken(path); };

  std::string candidate = JoinPath(AOutputFolder, base + AExt);
  if (!IsInputItself(candidate, AInputPath) && !taken(candidate) &&
      (AOverwrite == ocOverwrite || !Occupied(candidate)))
    return candidate;

  for (int n = 1; n <= kMaxNumberedNames; ++n) {
    std::string numbered = JoinPath(AOutputFolder, base + "_" + std::to_string(n) + AExt);
    if (!Occupied(numbered) && !taken(numbered)) return numbered;
  }
  return {};
}
