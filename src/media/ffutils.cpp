#include "media/ffutils.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

extern "C" {
#include <libavutil/error.h>
}

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

int64_t FileSizeOf(const std::string& AFileName) {
  struct stat st;
  if (AFileName.empty() || ::stat(AFileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return -1;
  return st.st_size;
}

namespace {
template <typename... Args>
std::string Format(const char* fmt, Args... args) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  if (n < 0)
    return {};
  if (static_cast<size_t>(n) < sizeof buf)
    return std::string(buf, n);
  std::string out(static_cast<size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, args...);
  return out;
}
}  // namespace

std::string FileSizeText(int64_t ASize) {
  if (ASize > 1073741824)
    return Format("%.2f GB", ASize / 1073741824.0);
  if (ASize > 1048576)
    return Format("%.2f MB", ASize / 1048576.0);
  if (ASize > 1024)
    return Format("%.2f KB", ASize / 1024.0);
  return Format("%" PRId64 " Byte", ASize);
}

std::string DurationText(int64_t ATime) {
  if (ATime == NoTimeStamp)
    return "N/A";
  int64_t seconds = ATime / 1000000;
  return Format("%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, seconds / 60 / 60,
                seconds / 60 % 60, seconds % 60, ATime % 1000000 * 1000 / 1000000);
}

std::string SecondsText(int64_t ATime) {
  // Split the magnitude so a negative time is not printed as "0.-500000"; the magnitude of
  // INT64_MIN does not fit an int64, hence the unsigned arithmetic.
  uint64_t magnitude = ATime < 0 ? 0 - static_cast<uint64_t>(ATime) : static_cast<uint64_t>(ATime);
  return Format("%s%" PRIu64 ".%.6" PRIu64, ATime < 0 ? "-" : "", magnitude / 1000000,
                magnitude % 1000000);
}

std::string TimeStampText(int64_t ASeconds) {
  std::time_t t = static_cast<std::time_t>(ASeconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm))
    return {};
  char buf[32];
  size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return std::string(buf, n);
}

namespace {
struct TErrorTextItem {
  int code;
  const char* text;
};
// Library error codes with a text of their own.
const TErrorTextItem kErrorTexts[] = {
    {AVERROR(ENOENT), "No such file or directory"},
    {AVERROR(EIO), "I/O error"},
    {AVERROR(ENOMEM), "Not enough memory"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR(EINVAL), "Invalid data found when processing input"},
    {AVERROR_EOF, "End of file"},
    {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
};
}  // namespace

std::string ErrorText(const std::string& AName, int AErrorCode) {
  for (const auto& item : kErrorTexts)
    if (item.code == AErrorCode)
      return AName + ": " + item.text;
  return AName + ": " + Format("Error number %d occurred", AErrorCode);
}

std::string SplitAt(std::string& AText, const std::string& ASeparator, bool ARemove) {
  size_t at = ASeparator.empty() ? std::string::npos : AText.find(ASeparator);
  if (at == std::string::npos) {
    std::string head = AText;
    if (ARemove)
      AText.clear();
    return head;
  }
  std::string head = AText.substr(0, at);
  if (ARemove)
    AText.erase(0, at + ASeparator.size());
  return head;
}

std::string ToLibFileName(const std::string& AFileName) { return AFileName; }

std::string FromLibFileName(const std::string& ALibName) {
  static constexpr char kUnicodePrefix[] = "unicode:utf8:";
  constexpr size_t kPrefixLen = sizeof kUnicodePrefix - 1;
  if (ALibName.size() > kPrefixLen && ALibName.compare(0, kPrefixLen, kUnicodePrefix) == 0)
    return ALibName.substr(kPrefixLen);
  return ALibName;
}
