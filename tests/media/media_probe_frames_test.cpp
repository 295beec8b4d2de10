// Seeking and single-picture decoding on a counter video whose frame N is flat grey with luma
// 16 + 4 N (key frame every 10 frames, B-frames), in containers whose readers seek differently.
#include <cmath>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "media_probe_fixtures.h"

using namespace fixtures;

namespace {

// The frame number shown by the probe's current picture, judged by its mean luma; -1 when no
// picture is ready.
int ShownFrame(const TMediaProbe& probe) {
  const TFrameInfo& f = probe.FrameInfo();
  if (!f.Ready || f.PixFmt != AV_PIX_FMT_YUV420P)
    return -1;
  double sum = 0;
  for (int y = 0; y < f.Height; ++y)
    for (int x = 0; x < f.Width; ++x)
      sum += f.Picture.data[0][y * f.Picture.linesize[0] + x];
  double luma = sum / (f.Width * f.Height);
  return static_cast<int>(std::lround((luma - 16) / 4));
}

class ProbeFrames : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    LoadLibraries(probe_);
    file_ = MakeCounterVideo(dir_, std::string("counter.") + GetParam());
    ASSERT_TRUE(probe_.LoadFile(file_)) << probe_.LastErrMsg();
  }

  // The current picture is frame n: content and time agree.
  void ExpectFrame(int n) {
    EXPECT_TRUE(probe_.FrameInfo().Ready);
    EXPECT_EQ(ShownFrame(probe_), n);
    EXPECT_EQ(probe_.FrameInfo().PTS, n * kCounterFrameUs);
    EXPECT_EQ(probe_.FrameInfo().IsKeyFrame, n % kCounterGop == 0) << "frame " << n;
  }

  // Decodes forward until frame n is shown.
  void DecodeTo(int n) {
    for (int guard = 0; guard <= kCounterFrames && ShownFrame(probe_) != n; ++guard) {
      ASSERT_TRUE(probe_.Decode()) << probe_.LastErrMsg();
    }
    ASSERT_EQ(ShownFrame(probe_), n);
  }

  TempDir dir_;
  TMediaProbe probe_;
  std::string file_;
};

}  // namespace

TEST_P(ProbeFrames, DecodesEveryFrameInDisplayOrderThenEnds) {
  EXPECT_EQ(probe_.SeekIndex(), 0);
  EXPECT_EQ(probe_.DecodeIndex(), -1);
  for (int n = 0; n < kCounterFrames; ++n) {
    ASSERT_TRUE(probe_.Decode()) << "frame " << n << ": " << probe_.LastErrMsg();
    ExpectFrame(n);
    int m = n % kCounterGop;
    EXPECT_EQ(probe_.FrameInfo().PictureType, m == 0 ? ptI : m % 3 == 0 ? ptP : ptB) << n;
    if (n > 0) {
      EXPECT_EQ(probe_.LastPTS(), (n - 1) * kCounterFrameUs);
    }
  }
  EXPECT_EQ(probe_.DecodeIndex(), 0);
  EXPECT_FALSE(probe_.Eof());
  EXPECT_FALSE(probe_.Decode());
  EXPECT_TRUE(probe_.Eof());
  EXPECT_EQ(probe_.LastErrMsg(), "stream eof reached.");
  EXPECT_FALSE(probe_.Decode());
  // A seek clears the end and decoding starts over.
  ASSERT_TRUE(probe_.Seek(0)) << probe_.LastErrMsg();
  EXPECT_FALSE(probe_.Eof());
  EXPECT_FALSE(probe_.FrameInfo().Ready);
  ASSERT_TRUE(probe_.Decode());
  ExpectFrame(0);
}

TEST_P(ProbeFrames, SeekLandsOnTheKeyFrameAtOrBefore) {
  const struct {
    int64_t target_us;
    int frame;
  } cases[] = {{1000000, 20}, {1200000, 30}, {1190000, 20}, {360000, 0}, {0, 0}, {-5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target_us);
    ASSERT_TRUE(probe_.Seek(c.target_us, sfBackward)) << probe_.LastErrMsg();
    ASSERT_TRUE(probe_.Decode()) << probe_.LastErrMsg();
    ExpectFrame(c.frame);
  }
}

TEST_P(ProbeFrames, NextKeyFrame) {
  ASSERT_TRUE(probe_.Decode());
  ASSERT_TRUE(probe_.DecodeNextKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(10);
  DecodeTo(13);
  ASSERT_TRUE(probe_.DecodeNextKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(20);
  ASSERT_TRUE(probe_.DecodeNextKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(30);
}

TEST_P(ProbeFrames, PreviousKeyFrame) {
  // From a frame inside a group, from a key frame itself and from the end of the file.
  ASSERT_TRUE(probe_.Seek(1200000, sfBackward));
  DecodeTo(33);
  ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(30);
  ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(20);
  DecodeTo(21);
  ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(20);
  ASSERT_TRUE(probe_.Seek(0));
  ASSERT_TRUE(probe_.Decode());
  ASSERT_TRUE(probe_.DecodePreviousKeyFrame()) << probe_.LastErrMsg();
  ExpectFrame(0);
}

TEST_P(ProbeFrames, PreviousFrame) {
  ASSERT_TRUE(probe_.Seek(1200000, sfBackward));
  DecodeTo(33);
  ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
  ExpectFrame(32);
  ASSERT_TRUE(probe_.Seek(1200000, sfBackward));
  DecodeTo(30);
  ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
  ExpectFrame(29);
  ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
  ExpectFrame(28);
  ASSERT_TRUE(probe_.Seek(0));
  ASSERT_TRUE(probe_.Decode());
  ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
  ExpectFrame(0);
}

TEST_P(ProbeFrames, LastFramesAfterTheReaderEnds) {
  // The last pictures are held back by the decoder when the reader ends; they still come out.
  ASSERT_TRUE(probe_.Seek(1900000, sfBackward));
  DecodeTo(kCounterFrames - 1);
  EXPECT_FALSE(probe_.Decode());
  EXPECT_TRUE(probe_.Eof());
  ASSERT_TRUE(probe_.DecodePreviousFrame()) << probe_.LastErrMsg();
  ExpectFrame(kCounterFrames - 2);
}

INSTANTIATE_TEST_SUITE_P(Containers, ProbeFrames, ::testing::Values("mp4", "mkv"));

TEST(ProbeFrameErrors, StreamChoiceAndStillImages) {
  TempDir dir;
  TMediaProbe probe;
  LoadLibraries(probe);
  EXPECT_FALSE(probe.Decode());
  EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
  EXPECT_EQ(probe.Position(), -1);
  EXPECT_FALSE(probe.Seek(0));

  ASSERT_TRUE(probe.LoadFile(MakeAudioFile(dir))) << probe.LastErrMsg();
  EXPECT_EQ(probe.SeekIndex(), 0);
  EXPECT_FALSE(probe.Decode());
  EXPECT_EQ(probe.LastErrMsg(), "no video stream.");
  EXPECT_FALSE(probe.Decode(0));
  EXPECT_EQ(probe.LastErrMsg(), "stream #0 is not video stream.");
  EXPECT_FALSE(probe.DecodeNextKeyFrame(3));
  EXPECT_EQ(probe.LastErrMsg(), "stream index #3 is invalid.");
  EXPECT_GE(probe.Position(), 0);
  EXPECT_TRUE(probe.Seek(500000)) << probe.LastErrMsg();

  // A picture file read as an image sequence: one picture, no seeking.
  std::string png = dir.FFmpeg("-f lavfi -i testsrc=size=32x24:rate=1 -frames:v 1", "still.png");
  ASSERT_TRUE(probe.LoadFile(png, "image2")) << probe.LastErrMsg();
  EXPECT_FALSE(probe.Seek(0));
  EXPECT_EQ(probe.LastErrMsg(), "\"image2\" format cannot to be seeked.");
  ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
  EXPECT_EQ(probe.FrameInfo().Width, 32);
  EXPECT_TRUE(probe.Decode());
  EXPECT_TRUE(probe.FrameInfo().Ready);
}

TEST(ProbeFrameErrors, SeekBeyondTheEnd) {
  TempDir dir;
  TMediaProbe probe;
  LoadLibraries(probe);
  ASSERT_TRUE(probe.LoadFile(MakeCounterVideo(dir, "counter.mp4"))) << probe.LastErrMsg();
  ASSERT_TRUE(probe.Decode());
  // No key frame after the last one: the forward seek fails and says where it tried to go.
  ASSERT_TRUE(probe.Seek(1700000, sfBackward));
  ASSERT_TRUE(probe.Decode());
  EXPECT_FALSE(probe.DecodeNextKeyFrame());
  EXPECT_EQ(probe.LastErrMsg(), "could not seek to position 1.640 seconds");
  EXPECT_FALSE(probe.FrameInfo().Ready);
}
