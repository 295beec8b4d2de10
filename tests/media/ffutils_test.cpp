// The shared media helpers.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/ffutils.h"

TEST(FFUtils, FileSizeText) {
  const struct {
    int64_t size;
    const char* text;
  } cases[] = {{0, "0 Byte"},
               {1024, "1024 Byte"},
               {1025, "1.00 KB"},
               {1048576, "1024.00 KB"},
               {1048577, "1.00 MB"},
               {1073741824, "1024.00 MB"},
               {1073741825, "1.00 GB"},
               {5LL << 40, "5120.00 GB"},
               {-1, "-1 Byte"}};
  for (const auto& c : cases)
    EXPECT_EQ(FileSizeText(c.size), c.text) << c.size;
}

TEST(FFUtils, DurationText) {
  const struct {
    int64_t us;
    const char* text;
  } cases[] = {{((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000, "01:02:03.004"},
               {0, "00:00:00.000"},
               {999, "00:00:00.000"},
               {25 * 3600 * 1000000LL, "25:00:00.000"},
               {2023000, "00:00:02.023"},
               {NoTimeStamp, "N/A"}};
  for (const auto& c : cases)
    EXPECT_EQ(DurationText(c.us), c.text) << c.us;
}

TEST(FFUtils, SecondsText) {
  EXPECT_EQ(SecondsText(0), "0.000000");
  EXPECT_EQ(SecondsText(1429089), "1.429089");
  EXPECT_EQ(SecondsText(-500000), "-0.500000");
  EXPECT_EQ(SecondsText(-1500001), "-1.500001");
}

TEST(FFUtils, TimeStampTextIsLocalTime) {
  const char* old_tz = std::getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  ::setenv("TZ", "UTC-8", 1);  // POSIX sign: eight hours east of UTC
  ::tzset();
  EXPECT_EQ(TimeStampText(0), "1970-01-01 08:00:00");
  EXPECT_EQ(TimeStampText(1700000000), "2023-11-15 06:13:20");
  if (old_tz)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

TEST(FFUtils, ErrorText) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {AVERROR(ENOENT), "f.mp4: No such file or directory"},
      {AVERROR(EIO), "f.mp4: I/O error"},
      {AVERROR(ENOMEM), "f.mp4: Not enough memory"},
      {AVERROR_INVALIDDATA, "f.mp4: Invalid data found when processing input"},
      {AVERROR(EINVAL), "f.mp4: Invalid data found when processing input"},
      {AVERROR_EOF, "f.mp4: End of file"},
      {AVERROR_PROTOCOL_NOT_FOUND, "f.mp4: Unsupported network protocol"},
      {AVERROR_PATCHWELCOME, "f.mp4: Not yet implemented in FFmpeg"},
      {AVERROR_DEMUXER_NOT_FOUND, "f.mp4: Unknown format"},
      {AVERROR(EACCES), "f.mp4: Error number -13 occurred"},
      {-33, "f.mp4: Error number -33 occurred"},
      {0, "f.mp4: Error number 0 occurred"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorText("f.mp4", c.code), c.text) << c.code;
}

TEST(FFUtils, SplitAt) {
  const struct {
    const char* text;
    const char* sep;
    bool remove;
    const char* head;
    const char* rest;
  } cases[] = {
      {"a=b=c", "=", true, "a", "b=c"},   {"a=b=c", "=", false, "a", "a=b=c"},
      {"abc", "=", true, "abc", ""},      {"abc", "=", false, "abc", "abc"},
      {"<CRLF>x", "<CRLF>", true, "", "x"}, {"", "=", true, "", ""},
      {"a==b", "==", true, "a", "b"},     {"abc", "", true, "abc", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(SplitAt(text, c.sep, c.remove), c.head) << c.text << " / " << c.sep;
    EXPECT_EQ(text, c.rest) << c.text << " / " << c.sep;
  }
}

TEST(FFUtils, LibraryFileNames) {
  for (std::string name : {"/tmp/a b.mp4", "/视频/文件.mkv", "http://host/x", "C:\\x.avi"})
    EXPECT_EQ(ToLibFileName(name), name);
  EXPECT_EQ(FromLibFileName("unicode:utf8:/视频/a.mkv"), "/视频/a.mkv");
  EXPECT_EQ(FromLibFileName("unicode:utf8:x"), "x");
  EXPECT_EQ(FromLibFileName("unicode:utf8:"), "unicode:utf8:");  // nothing after the prefix
  EXPECT_EQ(FromLibFileName("unicode:utf16:x"), "unicode:utf16:x");
  EXPECT_EQ(FromLibFileName("/plain/a.mp4"), "/plain/a.mp4");
}

TEST(FFUtils, FileSizeOfAndExeFolder) {
  auto dir = std::filesystem::temp_directory_path() / ("varnosk-ffutils-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "f.bin", std::ios::binary) << std::string(1234, 'x');
  std::ofstream(dir / "empty.bin", std::ios::binary);
  EXPECT_EQ(FileSizeOf((dir / "f.bin").string()), 1234);
  EXPECT_EQ(FileSizeOf((dir / "empty.bin").string()), 0);
  EXPECT_EQ(FileSizeOf((dir / "missing.bin").string()), -1);
  EXPECT_EQ(FileSizeOf(dir.string()), -1);
  EXPECT_EQ(FileSizeOf(""), -1);

  ::setenv("VARNOSK_HOME", dir.c_str(), 1);
  EXPECT_EQ(ExeFolder(), dir.string() + "/");
  ::setenv("VARNOSK_HOME", (dir.string() + "/").c_str(), 1);
  EXPECT_EQ(ExeFolder(), dir.string() + "/");
  ::unsetenv("VARNOSK_HOME");
  std::string exe = ExeFolder();
  EXPECT_EQ(exe.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(exe));
  std::filesystem::remove_all(dir);
}
