// The probe's file information: fields, stream records and the information text, checked
// against ffprobe on fixtures made at run time.
#include <cmath>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media_probe_fixtures.h"

using namespace fixtures;

namespace {

// One value ffprobe reports, e.g. Oracle(f, "format=duration") or Oracle(f, "stream=time_base", 1).
std::string Oracle(const std::string& file, const std::string& entry, int stream = -1) {
  std::string select = stream >= 0 ? " -select_streams " + std::to_string(stream) : "";
  std::string out = Capture("ffprobe -v error" + select + " -show_entries " + entry +
                            " -of default=nw=1:nk=1 " + ShellQuote(file));
  // Streams of a program are listed twice; the first value is the one.
  return out.substr(0, out.find('\n'));
}

int64_t OracleMicroseconds(const std::string& file, const std::string& entry, int stream = -1) {
  return std::llround(std::stod(Oracle(file, entry, stream)) * 1000000);
}

// ffprobe's description of stream i as its format dump shows it: the stream id and language
// ("[0x100](eng)") and the text after "Type: ..." without trailing dispositions.
struct DumpStream {
  std::string id_and_language;
  std::string description;
};
DumpStream OracleDump(const std::string& file, int index) {
  std::istringstream dump(Capture("ffprobe -hide_banner " + ShellQuote(file)));
  std::regex line_re("^\\s*Stream #0:" + std::to_string(index) +
                     "((\\[0x[0-9a-f]+\\])?(\\([^)]*\\))?): (.*)$");
  std::regex disposition_re("( \\((default|forced|dub|original|comment|lyrics|karaoke)\\))+$");
  for (std::string line; std::getline(dump, line);) {
    std::smatch m;
    if (std::regex_match(line, m, line_re))
      return {m[1], std::regex_replace(std::string(m[4]), disposition_re, "")};
  }
  ADD_FAILURE() << "ffprobe shows no stream " << index << " for " << file;
  return {};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

class ProbeInfo : public ::testing::Test {
protected:
  void SetUp() override { LoadLibraries(probe_); }
  TempDir dir_;
  TCustomMediaProbe probe_;
};

}  // namespace

// Every fixture: the file lines and each stream line agree with ffprobe's values and with the
// library's own codec description.
TEST_F(ProbeInfo, InformationTextAgreesWithFfprobe) {
  const std::string files[] = {MakeAVFile(dir_), MakeNtscFile(dir_), MakeAudioFile(dir_),
                               MakeTransportStream(dir_)};
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
    std::string text = probe_.FileInfoText();
    auto lines = Lines(text);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(lines[0], "File Name: " + file);
    EXPECT_EQ(lines[1], "Format Name: " + Oracle(file, "format=format_name"));
    EXPECT_EQ(lines[2], "Format Long Name: " + Oracle(file, "format=format_long_name"));
    EXPECT_EQ(lines[3], "File Size: " + FileSizeText(std::stoll(Oracle(file, "format=size"))));
    EXPECT_EQ(lines[4], "Duration: " + DurationText(OracleMicroseconds(file, "format=duration")));
    EXPECT_EQ(lines[5], "StartTime: " + Oracle(file, "format=start_time"));
    EXPECT_EQ(lines[6],
              "Bit Rate: " + std::to_string(std::stoll(Oracle(file, "format=bit_rate")) / 1000) +
                  " kb/s");

    for (int i = 0; i < probe_.StreamCount(); ++i) {
      SCOPED_TRACE("stream " + std::to_string(i));
      DumpStream dump = OracleDump(file, i);
      std::string time_base = Oracle(file, "stream=time_base", i);
      std::string expected = "Stream #" + std::to_string(i) + dump.id_and_language + ", " +
                             time_base + ": " + dump.description + ", StartTime: " +
                             Oracle(file, "stream=start_time", i) + ", Duration: ";
      std::string duration = Oracle(file, "stream=duration", i);
      expected += duration == "N/A" ? "N/A"
                                    : DurationText(OracleMicroseconds(file, "stream=duration", i));
      EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end())
          << "expected line: " << expected << "\nin:\n" << text;
    }
  }
}

TEST_F(ProbeInfo, VideoAudioFileWithMetadata) {
  std::string file = MakeAVFile(dir_);
  ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
  EXPECT_EQ(probe_.StreamCount(), 2);
  EXPECT_EQ(probe_.ProgramCount(), 0);
  EXPECT_EQ(probe_.VideoStreamCount(), 1);
  EXPECT_EQ(probe_.AudioStreamCount(), 1);
  EXPECT_EQ(probe_.SubtitleStreamCount(), 0);
  EXPECT_EQ(probe_.FirstVideoStreamIndex(), 0);
  EXPECT_EQ(probe_.FirstAudioStreamIndex(), 1);
  EXPECT_EQ(probe_.FirstSubtitleStreamIndex(), -1);
  EXPECT_EQ(probe_.FileSize(), FileSizeOf(file));
  EXPECT_TRUE(probe_.IsVideoStream(0));
  EXPECT_TRUE(probe_.IsAudioStream(1));
  EXPECT_FALSE(probe_.IsAudioStream(0));
  EXPECT_FALSE(probe_.IsSubtitleStream(2));

  TFileStreamInfo info = probe_.FileStreamInfo();
  EXPECT_EQ(info.Duration, OracleMicroseconds(file, "format=duration"));
  EXPECT_EQ(info.StartTime, 0);
  EXPECT_EQ(info.BitRate, std::stoll(Oracle(file, "format=bit_rate")));
  EXPECT_EQ(info.Title, "Probe Title");
  EXPECT_EQ(info.Album, "");
  EXPECT_EQ(info.Year, -1);

  TVideoStreamInfo video = probe_.FirstVideoStreamInfo();
  EXPECT_EQ(video.CodecName, "mpeg4(MPEG-4 part 2)");
  EXPECT_EQ(video.Width, 160);
  EXPECT_EQ(video.Height, 120);
  EXPECT_FLOAT_EQ(video.AspectRatio, 160.0f / 120.0f);
  EXPECT_EQ(video.FrameRate.num, 25);
  EXPECT_EQ(video.FrameRate.den, 1);
  EXPECT_EQ(video.PixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(video.Language, "");

  TAudioStreamInfo audio = probe_.FirstAudioStreamInfo();
  EXPECT_EQ(audio.CodecName, "aac(AAC (Advanced Audio Coding))");
  EXPECT_EQ(audio.Language, "eng");
  EXPECT_EQ(audio.Channels, 1);
  EXPECT_EQ(audio.SampleRate, 44100);
  EXPECT_EQ(audio.SampleFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(audio.StartTimeScaled, audio.StartTime * 1000);  // 1/1000 time base

  // The file's metadata block shows the ID3v2 frame name TCOM by its common name; the audio
  // stream's language is in its line, not in its block.
  std::string text = probe_.FileInfoText();
  EXPECT_NE(text.find("\nMetadata:\n  title           : Probe Title\n"
                      "  composer        : Some Composer\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nStream #1(eng), 1/1000: Audio: aac (LC), 44100 Hz, mono, fltp"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("language"), std::string::npos) << text;
}

TEST_F(ProbeInfo, RateNumbersAndNinetyKilohertzTimeBase) {
  ASSERT_TRUE(probe_.LoadFile(MakeNtscFile(dir_))) << probe_.LastErrMsg();
  std::string text = probe_.FileInfoText();
  EXPECT_NE(text.find(", 29.97 fps, 29.97 tbr, 90k tbn, StartTime: 0.000000, Duration: 00:00:01.001"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Stream #0[0x1](und), 1/90000: "), std::string::npos) << text;
  TVideoStreamInfo video = probe_.FirstVideoStreamInfo();
  EXPECT_EQ(video.FrameRate.num, 30000);
  EXPECT_EQ(video.FrameRate.den, 1001);
  EXPECT_EQ(video.DurationScaled, 1001000);
  EXPECT_EQ(video.Duration, 90090);

  ASSERT_TRUE(probe_.LoadFile(MakeAVFile(dir_))) << probe_.LastErrMsg();
  EXPECT_NE(probe_.FileInfoText().find(", 25 fps, 25 tbr, 1k tbn"), std::string::npos);
}

TEST_F(ProbeInfo, AudioOnlyFile) {
  std::string file = MakeAudioFile(dir_);
  ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
  EXPECT_EQ(probe_.VideoStreamCount(), 0);
  EXPECT_EQ(probe_.FirstVideoStreamIndex(), -1);
  TAudioStreamInfo audio = probe_.FirstAudioStreamInfo();
  EXPECT_EQ(audio.SampleRate, 22050);
  EXPECT_EQ(audio.CodecName, "mp3float(MP3 (MPEG audio layer 3))");
  EXPECT_EQ(probe_.FileStreamInfo().StartTime, OracleMicroseconds(file, "format=start_time"));

  TVideoStreamInfo video;
  video.Width = 99;
  EXPECT_FALSE(probe_.GetVideoStreamInfo(-1, video));
  EXPECT_EQ(probe_.LastErrMsg(), "no video stream.");
  EXPECT_EQ(video.Width, -1);
  std::string text = probe_.FileInfoText();
  EXPECT_NE(text.find("Metadata:\n  title           : Only Audio\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Stream #0, 1/14112000: Audio: mp3, 22050 Hz, mono, fltp"), std::string::npos)
      << text;
}

TEST_F(ProbeInfo, TransportStreamWithProgram) {
  std::string file = dir_.FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
      "-c:v mpeg2video -c:a mp2 -metadata service_provider=Prov -metadata service_name=Chan "
      "-metadata:s:a:0 language=eng",
      "prog.ts");
  ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
  EXPECT_EQ(probe_.ProgramCount(), 1);
  std::string text = probe_.FileInfoText();
  auto lines = Lines(text);
  auto program = std::find(lines.begin(), lines.end(), "Program 1 Prov@Chan");
  ASSERT_NE(program, lines.end()) << text;
  ASSERT_GE(lines.end() - program, 6);
  EXPECT_EQ(program[1], "  Metadata:");
  EXPECT_EQ(program[2], "    service_name    : Chan");
  EXPECT_EQ(program[3], "    service_provider: Prov");
  EXPECT_EQ(program[4].rfind("Stream #0[0x100], 1/90000: Video: mpeg2video", 0), 0u) << program[4];
  // A stream whose only metadata is its language has no "Metadata:" block.
  EXPECT_EQ(program[5].rfind("Stream #1[0x101](eng), 1/90000: Audio: mp2", 0), 0u) << program[5];
  EXPECT_EQ(program + 6, lines.end()) << text;
  // The file-level start time of a transport stream is not zero.
  EXPECT_NE(text.find("\nStartTime: " + Oracle(file, "format=start_time") + "\n"), std::string::npos);
}

TEST_F(ProbeInfo, UnknownSampleAspectRatioGivesZeroAspect) {
  std::string file = dir_.FFmpeg(
      "-f lavfi -i testsrc=size=32x24:rate=25:duration=0.2 -vf setsar=0 -pix_fmt yuv420p",
      "sar0.y4m");
  ASSERT_TRUE(probe_.LoadFile(file)) << probe_.LastErrMsg();
  EXPECT_EQ(probe_.FirstVideoStreamInfo().AspectRatio, 0.0f);
}

TEST_F(ProbeInfo, StreamRecordErrors) {
  ASSERT_TRUE(probe_.LoadFile(MakeAVFile(dir_))) << probe_.LastErrMsg();
  struct Case {
    int index;
    const char* kind;
    const char* message;
  };
  const Case cases[] = {
      {2, "video", "stream index #2 is invalid."},
      {-2, "video", "stream index #-2 is invalid."},
      {1, "video", "stream #1 is not video stream."},
      {0, "audio", "stream #0 is not audio stream."},
      {-1, "subtitle", "no subtitle stream."},
      {0, "subtitle", "stream #0 is not subtitle stream."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    bool ok;
    if (std::string(c.kind) == "video") {
      TVideoStreamInfo info;
      info.Height = 7;
      ok = probe_.GetVideoStreamInfo(c.index, info);
      EXPECT_EQ(info.Height, -1);
      EXPECT_EQ(info.FrameRate.num, -1);
      EXPECT_EQ(info.AspectRatio, -1.0f);
    } else if (std::string(c.kind) == "audio") {
      TAudioStreamInfo info;
      ok = probe_.GetAudioStreamInfo(c.index, info);
      EXPECT_EQ(info.Channels, -1);
    } else {
      TSubtitleStreamInfo info;
      info.CodecName = "x";
      ok = probe_.GetSubtitleStreamInfo(c.index, info);
      EXPECT_EQ(info.CodecName, "");
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(probe_.LastErrMsg(), c.message);
  }
}

TEST_F(ProbeInfo, ClosedProbeAnswersUnknown) {
  ASSERT_TRUE(probe_.LoadFile(MakeAVFile(dir_))) << probe_.LastErrMsg();
  probe_.CloseFile();
  EXPECT_EQ(probe_.FileHandle(), nullptr);
  EXPECT_EQ(probe_.FileSize(), -1);
  EXPECT_EQ(probe_.StreamCount(), -1);
  EXPECT_EQ(probe_.AudioStreamCount(), -1);
  EXPECT_EQ(probe_.FirstVideoStreamIndex(), -1);
  EXPECT_EQ(probe_.FileInfoText(), "");
  EXPECT_EQ(probe_.LastErrMsg(), "file not loaded.");
  TFileStreamInfo info = probe_.FileStreamInfo();
  EXPECT_EQ(info.Duration, -1);
  EXPECT_EQ(info.BitRate, -1);
  EXPECT_FALSE(probe_.IsVideoStream(0));
}

TEST_F(ProbeInfo, ForcedAndUnknownFormatNames) {
  std::string file = MakeAVFile(dir_);
  EXPECT_FALSE(probe_.LoadFile(file, "nosuchformat"));
  EXPECT_EQ(probe_.LastErrMsg(), "Unknown input format: nosuchformat");
  EXPECT_EQ(probe_.FileHandle(), nullptr);

  ASSERT_TRUE(probe_.LoadFile(file, "matroska")) << probe_.LastErrMsg();
  EXPECT_EQ(probe_.ForceFormat(), "matroska");
  // A forced format that does not fit the data is refused.
  EXPECT_FALSE(probe_.LoadFile(file, "wav"));
  EXPECT_EQ(probe_.LastErrMsg(), file + ": Invalid data found when processing input");
  EXPECT_EQ(probe_.ForceFormat(), "");
  EXPECT_EQ(probe_.StreamCount(), -1);
}

TEST_F(ProbeInfo, HandedInContextIsReadNotClosed) {
  std::string file = MakeAVFile(dir_);
  AVFormatContext* ctx = nullptr;
  ASSERT_EQ(avformat_open_input(&ctx, file.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(ctx, nullptr), 0);
  {
    TMediaProbe probe;
    probe.SetFileHandle(ctx);
    EXPECT_FALSE(probe.OwnHandle());
    EXPECT_EQ(probe.StreamCount(), 2);
    EXPECT_EQ(probe.FileSize(), FileSizeOf(file));
    EXPECT_NE(probe.FileInfoText().find("Format Name: matroska,webm\n"), std::string::npos);
    EXPECT_THROW(probe.Seek(0), std::runtime_error);
    EXPECT_EQ(probe.LastErrMsg(), "file cannot be seeked, handle is readonly.");
    probe.CloseFile();
    EXPECT_EQ(probe.StreamCount(), -1);
  }
  // Still open and usable after the probe let go of it.
  EXPECT_EQ(ctx->nb_streams, 2u);
  avformat_close_input(&ctx);
}

TEST_F(ProbeInfo, LoadFileNeedsTheLibraries) {
  std::string file = MakeAVFile(dir_);
  probe_.UnloadAVLib();
  EXPECT_FALSE(probe_.AVLibLoaded());
  try {
    probe_.LoadFile(file);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
  }
  LoadLibraries(probe_);
  EXPECT_TRUE(probe_.AVLibLoaded());
  EXPECT_TRUE(probe_.LoadFile(file));
}
