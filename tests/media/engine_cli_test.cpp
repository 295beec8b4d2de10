// varnosk-engine: usage, failures to add files, a conversion with its report lines, join and
// the test hook, through the built program and its exit status.
#include <sys/wait.h>

#include "task_manager_support.h"

using namespace tmtest;

namespace {

struct TResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

TResult Engine(const std::string& AArguments) {
  TResult r;
  int raw = 0;
  r.output = enginetest::Run(std::string(VARNOSK_ENGINE) + " " + AArguments, &raw);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

std::string LastLine(const std::string& AText) {
  std::string text = AText;
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
}

}  // namespace

TEST(EngineCommand, BadUsageExitsWith2) {
  for (const char* args : {"", "--in a.avi", "--out b.avi", "--in a.avi --out", "--opt vn --in a",
                           "--in a --out b --opt novalue", "--in a --out b --fast",
                           "--in-opt f=avi --in a --out b", "--in a --out b --out c"}) {
    SCOPED_TRACE(args);
    const TResult r = Engine(args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("usage: varnosk-engine"), std::string::npos);
  }
}

TEST(EngineCommand, FilesThatCannotBeAddedExitWith1) {
  TempDir dir;
  const std::string tone = enginetest::MakeTone(dir / "tone.wav", 0.2);
  const TResult missing = Engine("--in " + enginetest::Quote(dir / "none.wav") + " --out " +
                                 enginetest::Quote(dir / "out.mp3"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find(dir / "none.wav: No such file or directory"), std::string::npos);
  const TResult refused = Engine("--in " + enginetest::Quote(tone) + " --out " +
                                 enginetest::Quote(dir / "out.mp3") + " --opt qscale=0");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("qscale must be > 0.0 and <= 255"), std::string::npos);
  EXPECT_FALSE(Exists(dir / "out.mp3"));
}

TEST(EngineCommand, ConvertsAndReportsEachEvent) {
  TempDir dir;
  const std::string clip = enginetest::MakeClip(dir / "in.avi", 1.0, "160x120");
  const TResult r = Engine("--in " + enginetest::Quote(clip) + " --out " +
                           enginetest::Quote(dir / "out.mkv") + " --opt s=80x60 --opt ar=22050");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(LastLine(r.output), "TaskIndex=0 Finished=True Exception=False ExceptionMsg=");
  EXPECT_NE(r.output.find("frame=   25 fps="), std::string::npos) << r.output;
  const auto out = enginetest::Probe(dir / "out.mkv");
  EXPECT_EQ(out.First("video")->Int("width"), 80);
  EXPECT_EQ(out.First("audio")->Int("sample_rate"), 22050);
}

TEST(EngineCommand, JoinsInputsWithTheirOwnOptions) {
  TempDir dir;
  const std::string a = enginetest::MakeTone(dir / "a.wav", 1.0);
  const std::string b = enginetest::MakeTone(dir / "b.wav", 2.0);
  const TResult r = Engine("--in " + enginetest::Quote(a) + " --in-opt TimeStart=500000 --in " +
                           enginetest::Quote(b) + " --out " + enginetest::Quote(dir / "ab.wav") +
                           " --join");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NEAR(enginetest::Probe(dir / "ab.wav").Duration(), 2.5, 0.05);
}

TEST(EngineCommand, TheTestHookDrawsIntoThePictures) {
  TempDir dir;
  const std::string clip = enginetest::MakeClip(dir / "in.avi", 0.5, "160x120");
  const TResult r = Engine("--in " + enginetest::Quote(clip) + " --out " +
                           enginetest::Quote(dir / "out.mkv") +
                           " --opt vcodec=ffv1 --opt an=1 --hook-test");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(enginetest::TopLeftQuarterWhite(
      enginetest::FirstPictureRGB(clip, dir / "in.rgb"), 160, 120));
  EXPECT_TRUE(enginetest::TopLeftQuarterWhite(
      enginetest::FirstPictureRGB(dir / "out.mkv", dir / "out.rgb"), 160, 120));
}
