// Files the probe must refuse cleanly, and awkward names it must accept.
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "media_probe_fixtures.h"

using namespace fixtures;

namespace {

class ProbeBadInput : public ::testing::Test {
protected:
  void SetUp() override { LoadLibraries(probe_); }

  // LoadFile refuses the file with exactly this text and leaves the probe closed.
  void ExpectRefused(const std::string& file, const std::string& text) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(probe_.LoadFile(file));
    EXPECT_EQ(probe_.LastErrMsg(), text);
    EXPECT_EQ(probe_.FileHandle(), nullptr);
    EXPECT_EQ(probe_.StreamCount(), -1);
    EXPECT_EQ(probe_.FileSize(), -1);
    EXPECT_EQ(probe_.FileInfoText(), "");
  }

  std::string RandomBytes(size_t n) {
    std::mt19937 gen(12345);
    std::string bytes(n, '\0');
    for (auto& b : bytes)
      b = static_cast<char>(gen());
    return bytes;
  }

  TempDir dir_;
  TMediaProbe probe_;
};

}  // namespace

TEST_F(ProbeBadInput, RefusedFiles) {
  std::string good = MakeCounterVideo(dir_, "good.mp4");
  std::string head;
  {
    std::ifstream in(good, std::ios::binary);
    head.assign(100, '\0');
    in.read(head.data(), 100);
  }
  std::filesystem::create_directory(dir_.Path("folder.mp4"));
  const std::string invalid = ": Invalid data found when processing input";
  const struct {
    std::string file;
    std::string text;
  } cases[] = {
      {dir_.Write("empty.mp4", ""), invalid},
      {dir_.Write("text.mp4", "This is not a video.\nJust two lines of text.\n"), invalid},
      {dir_.Write("notes.txt", "Plain notes, nothing to play.\n"), invalid},
      {dir_.Write("random.bin", RandomBytes(20000)), invalid},
      {dir_.Write("header-cut.mp4", head), invalid},
      {dir_.Write("nostreams.ffmeta", ";FFMETADATA1\ntitle=nothing\n"),
       ": could not find codec parameters"},
      {dir_.Path("missing.mp4"), ": No such file or directory"},
      {dir_.Path("folder.mp4"), ": Error number -21 occurred"},
      {dir_.Path("缺少的 'file' \"x\".mp4"), ": No such file or directory"},
  };
  for (const auto& c : cases)
    ExpectRefused(c.file, c.file + c.text);
  // The refusals leave a probe that still opens good files.
  ASSERT_TRUE(probe_.LoadFile(good)) << probe_.LastErrMsg();
  EXPECT_TRUE(probe_.Decode());
}

TEST_F(ProbeBadInput, AwkwardNamesAreOpened) {
  for (std::string name : {"with space.mkv", "quote's \"double\".mkv", "中文 视频.mkv"}) {
    SCOPED_TRACE(name);
    std::string file = MakeAVFile(dir_, name);
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    EXPECT_EQ(probe_.FileName(), file);
    EXPECT_EQ(probe_.FileSize(), FileSizeOf(file));
    EXPECT_EQ(probe_.FileInfoText().rfind("File Name: " + file + "\n", 0), 0u);
  }
}

TEST_F(ProbeBadInput, DataCutShortEndsDecodingCleanly) {
  std::string good = MakeCounterVideo(dir_, "good.mkv");
  auto size = std::filesystem::file_size(good);
  std::filesystem::resize_file(good, size * 2 / 3);
  ASSERT_TRUE(probe_.LoadFile(good)) << probe_.LastErrMsg();
  int pictures = 0;
  while (probe_.Decode())
    ++pictures;
  EXPECT_TRUE(probe_.Eof());
  EXPECT_GT(pictures, 0);
  EXPECT_LT(pictures, kCounterFrames);
  EXPECT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
}

// Root reads any file, so the unreadable case runs in a child process that gives up root.
TEST_F(ProbeBadInput, UnreadableFile) {
  std::string file = MakeCounterVideo(dir_, "locked.mp4");
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir_.Root().c_str(), 0755), 0);
  if (::geteuid() != 0) {
    ExpectRefused(file, file + ": Error number -13 occurred");
    return;
  }
  int pipe_fd[2];
  ASSERT_EQ(::pipe(pipe_fd), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fd[0]);
    std::string result = "could not drop root";
    if (::setgid(65534) == 0 && ::setuid(65534) == 0)
      result = probe_.LoadFile(file) ? std::string("loaded") : probe_.LastErrMsg();
    ssize_t written = ::write(pipe_fd[1], result.data(), result.size());
    ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  ::close(pipe_fd[1]);
  std::string result;
  char buf[512];
  for (ssize_t n; (n = ::read(pipe_fd[0], buf, sizeof buf)) > 0;)
    result.append(buf, static_cast<size_t>(n));
  ::close(pipe_fd[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(result, file + ": Error number -13 occurred");
  EXPECT_FALSE(probe_.FileHandle());
}
