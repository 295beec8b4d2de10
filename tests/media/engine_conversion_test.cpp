// What a conversion does to the media: volume, frame-rate conversion with duplicated frames,
// the streams an output takes from its inputs, two-pass logs, video statistics, the report
// line, progress of audio-only tasks, refusals of stream copy, and bad inputs and outputs.
#include <cstring>
#include <mutex>

#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/ffutils.h"
#include "media/logger.h"
#include "task_manager_support.h"

using namespace tmtest;
using enginetest::MakeClip;
using enginetest::MakeTone;
using enginetest::Probe;

namespace {

// Every log line of the media side, kept for the test.
class LogCapture {
public:
  LogCapture() {
    LoggerInstance().SetTriggerEventInMainThread(false);
    LoggerInstance().SetLogLevel(llVerbose);
    LoggerInstance().SetOnLog([this](const void*, uint32_t, TLogLevel, const std::string& AText) {
      std::lock_guard lock(mutex_);
      lines_.push_back(AText);
    });
  }
  ~LogCapture() {
    LoggerInstance().SetOnLog(nullptr);
    LoggerInstance().SetLogLevel(llInfo);
  }
  // The lines containing AText.
  std::vector<std::string> With(const std::string& AText) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const std::string& line : lines_)
      if (line.find(AText) != std::string::npos)
        found.push_back(line);
    return found;
  }

private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The 16-bit samples of a WAV file's data chunk.
std::vector<int16_t> WavSamples(const std::string& APath) {
  const std::string bytes = ReadFile(APath);
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + pos + 4, 4);
    if (bytes.compare(pos, 4, "data") == 0) {
      size = std::min<uint32_t>(size, static_cast<uint32_t>(bytes.size() - pos - 8));
      std::vector<int16_t> samples(size / 2);
      std::memcpy(samples.data(), bytes.data() + pos + 8, samples.size() * 2);
      return samples;
    }
    pos += 8 + size + (size & 1);
  }
  return {};
}

// Runs one task synchronously; returns its termination record.
TTerminateInfo RunTask(TTaskManager& ATM) {
  TTerminateInfo result;
  result.TaskIndex = -2;
  ATM.SetOnTerminate([&](TCustomTaskManager*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0)
      result = AInfo;
  });
  ATM.Start(0);
  return result;
}

}  // namespace

TEST(EngineConversion, VolumeScalesSamplesAndClips) {
  TempDir dir;
  // A loud tone: peaks near 12000, so doubling keeps them and eight times clips them.
  const std::string in = enginetest::FFmpeg(
      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.5,volume=3 -c:a pcm_s16le",
      dir / "in.wav");
  const std::vector<int16_t> source = WavSamples(in);
  ASSERT_FALSE(source.empty());
  for (int volume : {512, 2048, 100}) {
    SCOPED_TRACE(volume);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(in), 0);
    const std::string out = dir / ("out" + std::to_string(volume) + ".wav");
    TOutputOptions rec;
    rec.AudioVolume = volume;
    ASSERT_TRUE(tm.SetOutputFile(0, out, &rec)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
    const std::vector<int16_t> scaled = WavSamples(out);
    ASSERT_EQ(scaled.size(), source.size());
    bool clipped = false;
    for (size_t i = 0; i < source.size(); ++i) {
      int expected = (source[i] * volume + 128) >> 8;
      clipped = clipped || expected > 32767;
      expected = std::clamp(expected, -32768, 32767);
      ASSERT_EQ(scaled[i], expected) << "sample " << i;
    }
    EXPECT_EQ(clipped, volume == 2048);
  }
}

TEST(EngineConversion, ConstantRateOutputDuplicatesFramesAndSaysSo) {
  TempDir dir;
  LogCapture log;
  const std::string clip = MakeClip(dir / "in.avi", 2.0, "160x120");
  TTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  std::vector<TProgressInfo> reports;
  tm.SetOnProgress([&](TCustomTaskManager*, TProgressInfo* AInfo) { reports.push_back(*AInfo); });
  ASSERT_EQ(tm.AddTask(clip), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.avi", "r=30<CRLF>vcodec=mpeg4")) << tm.LastErrMsg();
  const TTerminateInfo t = RunTask(tm);
  ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
  const auto out = Probe(dir / "out.avi", true);
  ASSERT_TRUE(out.ok) << out.log;
  EXPECT_EQ((*out.First("video"))["r_frame_rate"], "30/1");
  EXPECT_NEAR(out.First("video")->Int("nb_read_frames"), 60, 1);
  ASSERT_FALSE(reports.empty());
  EXPECT_NEAR(reports.back().FrameNumber, 60, 1);
  // The report line with the counts is logged once duplicates happened.
  const auto lines = log.With(" dup=");
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find(" drop=0"), std::string::npos) << lines.back();
}

TEST(EngineConversion, OutputStreamsFollowTheInputsAndTheOptions) {
  TempDir dir;
  const std::string tone = MakeTone(dir / "tone.wav", 1.0);
  const std::string clip = MakeClip(dir / "clip.avi", 1.0, "160x120");
  struct Case {
    const char* name;
    std::string input;
    const char* output;
    const char* options;
    int videos, audios;
  };
  const Case cases[] = {
      {"audio input, format with video", tone, "a.avi", "", 0, 1},
      {"video disabled", clip, "b.mkv", "vn", 0, 1},
      {"audio disabled", clip, "c.mkv", "an", 1, 0},
      {"a second audio stream", clip, "d.mkv", "newaudio<CRLF>acodec=mp2", 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(c.input), 0);
    ASSERT_TRUE(tm.SetOutputFile(0, dir / c.output, c.options)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
    const auto out = Probe(dir / c.output);
    ASSERT_TRUE(out.ok) << out.log;
    EXPECT_EQ(out.Count("video"), c.videos);
    EXPECT_EQ(out.Count("audio"), c.audios);
  }
}

TEST(EngineConversion, AnExistingOutputIsReplaced) {
  TempDir dir;
  const std::string tone = MakeTone(dir / "tone.wav", 0.5);
  WriteFile(dir / "out.mp2", std::string(3000000, 'x'));
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(tone), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.mp2"));
  ASSERT_TRUE(RunTask(tm).Finished);
  EXPECT_LT(ReadFile(dir / "out.mp2").size(), 100000u);
  EXPECT_NEAR(Probe(dir / "out.mp2").Duration(), 0.5, 0.05);
}

TEST(EngineConversion, AudioOnlyProgressHasNoVideoFields) {
  TempDir dir;
  const std::string tone = MakeTone(dir / "tone.wav", 3.0);
  TTaskManager tm;
  tm.SetTriggerEventInMainThread(false);
  tm.SetProgressInterval(100);
  std::vector<TProgressInfo> reports;
  tm.SetOnProgress([&](TCustomTaskManager*, TProgressInfo* AInfo) { reports.push_back(*AInfo); });
  ASSERT_EQ(tm.AddTask(tone), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.mp3"));
  ASSERT_TRUE(RunTask(tm).Finished);
  ASSERT_FALSE(reports.empty());
  for (const TProgressInfo& r : reports) {
    EXPECT_EQ(r.TaskIndex, 0);
    EXPECT_EQ(r.FrameNumber, -1);
    EXPECT_EQ(r.FPS, -1);
    EXPECT_FLOAT_EQ(r.Quality, -1.0f);
    EXPECT_NEAR(r.TotalDuration / 1e6, 3.0, 0.05);
  }
  const TProgressInfo& last = reports.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_EQ(last.CurrentSize, static_cast<int64_t>(std::filesystem::file_size(dir / "out.mp3")));
  EXPECT_NEAR(last.CurrentDuration / 1e6, 3.0, 0.1);
  EXPECT_NEAR(last.BitRate, 128.0, 10.0);  // the encoder's default rate, in kbit/s
}

TEST(EngineConversion, ReportLineStatisticsAndTwoPassLogs) {
  TempDir dir;
  LogCapture log;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);  // two-pass logs go to the current folder
  for (int pass : {1, 2}) {
    SCOPED_TRACE(pass);
    TFFmpeg engine(1);  // no progress handler: the report lines go to the log
    ASSERT_TRUE(engine.OpenInput(clip));
    engine.ParseOption("pass", std::to_string(pass));
    engine.ParseOption("vcodec", "mpeg4");
    engine.ParseOption("psnr", "1");
    engine.ParseOption("qphist", "1");
    engine.ParseOption("vstats_file", dir / ("vstats" + std::to_string(pass) + ".log"));
    ASSERT_EQ(engine.OpenOutput(dir / ("pass" + std::to_string(pass) + ".avi"), false), 1)
        << engine.LastErrMsg();
    engine.StartConvert(false, tpNormal);
    EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
    EXPECT_TRUE(Exists(dir / "ffmpeg2pass-0.log"));
    // One statistics line per encoded frame.
    const std::string stats = ReadFile(dir / ("vstats" + std::to_string(pass) + ".log"));
    EXPECT_EQ(std::count(stats.begin(), stats.end(), '\n'), 25);
    EXPECT_EQ(stats.rfind("frame=     1 q= ", 0), 0u) << stats.substr(0, 80);
    EXPECT_NE(stats.find("PSNR= "), std::string::npos);
    EXPECT_NE(stats.find("type= I"), std::string::npos);
  }
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_GT(ReadFile(dir / "ffmpeg2pass-0.log").size(), 100u);
  const auto lines = log.With("frame=   25 fps=");
  ASSERT_FALSE(lines.empty());
  const std::string& last = lines.back();
  EXPECT_NE(last.find(" L"), std::string::npos) << last;  // the final report
  EXPECT_NE(last.find("PSNR=Y:"), std::string::npos) << last;
  EXPECT_NE(last.find("*:"), std::string::npos) << last;
  EXPECT_NE(last.find("size="), std::string::npos) << last;
  EXPECT_FALSE(log.With("muxing overhead").empty());
}

TEST(EngineConversion, StreamCopyRefusals) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 0.5, "160x120");
  struct Case {
    const char* options;
    bool preview;
    const char* message;
  };
  const Case cases[] = {
      {"vcodec=copy", true, "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
      {"vcodec=copy<CRLF>Hook", false,
       "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
      {"acodec=copy<CRLF>vol=512", false,
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TTaskManager tm;
    tm.SetPreview(c.preview);
    ASSERT_EQ(tm.AddTask(clip), 0);
    ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.avi", c.options)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    EXPECT_FALSE(t.Finished);
    EXPECT_TRUE(t.Exception);
    EXPECT_EQ(t.ExceptionMsg, c.message);
    EXPECT_FALSE(Exists(dir / "out.avi"));
  }
  // Without preview and hooks the packets are copied as they are.
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(clip), 0);
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "copy.avi", "vcodec=copy<CRLF>acodec=copy"));
  ASSERT_TRUE(RunTask(tm).Finished);
  const auto out = Probe(dir / "copy.avi", true);
  EXPECT_EQ((*out.First("video"))["codec_name"], "mpeg4");
  EXPECT_EQ((*out.First("audio"))["codec_name"], "mp2");
  EXPECT_EQ(out.First("video")->Int("nb_read_frames"),
            Probe(clip, true).First("video")->Int("nb_read_frames"));
}

TEST(EngineConversion, DamagedInputsConvertWhatDecodesAndStayUntouched) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "clip.avi", 4.0, "160x120");
  const std::string whole = ReadFile(clip);
  std::string truncated = whole.substr(0, whole.size() / 2);
  std::string garbled = whole;
  for (size_t i = whole.size() / 3; i < whole.size() / 3 + 60000 && i < garbled.size(); ++i)
    garbled[i] = static_cast<char>((i * 7919) & 0xff);
  WriteFile(dir / "truncated.avi", truncated);
  WriteFile(dir / "garbled.avi", garbled);
  for (const char* name : {"truncated.avi", "garbled.avi"}) {
    SCOPED_TRACE(name);
    const std::string before = ReadFile(dir / name);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(dir / name), 0) << tm.LastErrMsg();
    const std::string out = dir / (std::string(name) + ".mkv");
    ASSERT_TRUE(tm.SetOutputFile(0, out));
    const TTerminateInfo t = RunTask(tm);
    EXPECT_FALSE(t.Exception) << t.ExceptionMsg;
    EXPECT_TRUE(t.Finished);
    const auto probed = Probe(out, true);
    ASSERT_TRUE(probed.ok) << probed.log;
    ASSERT_NE(probed.First("video"), nullptr);
    EXPECT_GT(probed.First("video")->Int("nb_read_frames"), 10);
    EXPECT_EQ(ReadFile(dir / name), before);
  }
}

TEST(EngineConversion, AnOutputThatCannotBeWrittenIsRefusedWithItsReason) {
  TempDir dir;
  const std::string tone = MakeTone(dir / "tone.wav", 0.2);
  WriteFile(dir / "plain", "a file, not a folder");
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(tone), 0);
  const std::string out = dir / "plain/out.mp3";
  EXPECT_FALSE(tm.SetOutputFile(0, out));
  EXPECT_EQ(tm.LastErrMsg(), ErrorText(out, AVERROR(ENOTDIR)));
  if (::geteuid() != 0) {  // the superuser writes anywhere
    std::filesystem::create_directory(dir / "locked");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    const std::string locked = dir / "locked/out.mp3";
    EXPECT_FALSE(tm.SetOutputFile(0, locked));
    EXPECT_EQ(tm.LastErrMsg(), ErrorText(locked, AVERROR(EACCES)));
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
  }
  EXPECT_EQ(tm.TasksCount(), 1);
}

TEST(EngineConversion, FlagOptionsAddToTheEncodersOwnDefaults) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 0.5, "160x120");
  TTaskManager tm;
  ASSERT_EQ(tm.AddTask(clip), 0);
  // The preset's "flags=+loop" must not take away libx264's own closed-GOP default.
  ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.mp4", "vcodec=libx264<CRLF>vpre=libx264-default"));
  ASSERT_TRUE(RunTask(tm).Finished);
  const std::string out = ReadFile(dir / "out.mp4");  // x264 writes its settings into the file
  EXPECT_NE(out.find("open_gop=0"), std::string::npos);
  EXPECT_NE(out.find("deblock=1:"), std::string::npos);
}

TEST(EngineConversion, SubtitlesAndReorderedPicturesComeThrough) {
  TempDir dir;
  WriteFile(dir / "subs.srt",
            "1\n00:00:00,200 --> 00:00:00,900\nFirst line\n\n"
            "2\n00:00:01,000 --> 00:00:01,800\nSecond line\n\n");
  // Matroska with text subtitles; MPEG-TS with B-frames (pictures decode out of packet order
  // in a format whose time stamps may jump).
  const std::string with_subs = enginetest::FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -i " + enginetest::Quote(dir / "subs.srt") +
          " -c:v mpeg4 -bf 2 -c:s srt",
      dir / "subs.mkv");
  const std::string reordered = enginetest::FFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v libx264 -bf 3 -g 12", dir / "b.ts");
  struct Case {
    std::string input;
    const char* output;
  };
  for (const Case& c : {Case{with_subs, "subs_out.mkv"}, Case{reordered, "b_out.mkv"}}) {
    SCOPED_TRACE(c.output);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(c.input), 0) << tm.LastErrMsg();
    ASSERT_TRUE(tm.SetOutputFile(0, dir / c.output)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
    const auto out = Probe(dir / c.output, true);
    ASSERT_TRUE(out.ok) << out.log;
    EXPECT_EQ(out.First("video")->Int("nb_read_frames"), 50);
    EXPECT_NEAR(out.Duration(), 2.0, 0.1);
    if (c.input == with_subs) {
      ASSERT_NE(out.First("subtitle"), nullptr) << out.log;
      EXPECT_EQ(out.First("subtitle")->Int("nb_read_frames"), 2);
    }
  }
}

TEST(EngineConversion, OptionsShapeTheOutput) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 3.0, "160x120");
  struct Case {
    const char* name;
    const char* output;
    const char* options;
    std::function<void(const enginetest::TProbed&, const std::string& APath)> check;
  };
  auto frames = [](const enginetest::TProbed& AOut) {
    return AOut.First("video") ? AOut.First("video")->Int("nb_read_frames") : -1;
  };
  const Case cases[] = {
      {"start and length", "part.mkv", "TimeStart=1000000<CRLF>TimeLength=1000000",
       [&](const auto& out, const auto&) {
         EXPECT_EQ(frames(out), 25);
         EXPECT_NEAR(out.Duration(), 1.0, 0.1);
       }},
      {"frame limit", "ten.mkv", "vframes=10",
       [&](const auto& out, const auto&) { EXPECT_EQ(frames(out), 10); }},
      {"file size limit", "small.avi", "fs=60000<CRLF>vb=2000000",
       [&](const auto& out, const std::string& path) {
         EXPECT_LT(frames(out), 75);
         EXPECT_LT(std::filesystem::file_size(path), 200000u);
       }},
      {"filters", "filtered.mkv", "vf=scale=80:60,hflip",
       [&](const auto& out, const auto&) {
         EXPECT_EQ(out.First("video")->Int("width"), 80);
         EXPECT_EQ(out.First("video")->Int("height"), 60);
         EXPECT_EQ(frames(out), 75);
       }},
      {"cropping", "cropped.mkv", "croptop=20<CRLF>cropleft=40",
       [&](const auto& out, const auto&) {
         EXPECT_EQ(out.First("video")->Int("width"), 120);
         EXPECT_EQ(out.First("video")->Int("height"), 100);
       }},
      {"cropping and scaling", "cropscale.mkv", "cropbottom=20<CRLF>s=64x48",
       [&](const auto& out, const auto&) {
         EXPECT_EQ(out.First("video")->Int("width"), 64);
         EXPECT_EQ(out.First("video")->Int("height"), 48);
       }},
      {"deinterlacing", "deint.mkv", "deinterlace=1",
       [&](const auto& out, const auto&) { EXPECT_EQ(frames(out), 75); }},
      {"bitstream filter", "bsf.avi", "vcodec=copy<CRLF>vbsf=null",
       [&](const auto& out, const auto&) { EXPECT_EQ(frames(out), 75); }},
      {"metadata", "tagged.mkv", "metadata=title=Varnosk test<CRLF>metadata=artist=Engine",
       [&](const auto&, const std::string& path) {
         const std::string tags = enginetest::Run(
             "ffprobe -v error -show_entries format_tags -of flat " + enginetest::Quote(path));
         EXPECT_NE(tags.find("format.tags.title=\"Varnosk test\""), std::string::npos) << tags;
         EXPECT_NE(tags.find("format.tags.ARTIST=\"Engine\""), std::string::npos) << tags;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(clip), 0);
    ASSERT_TRUE(tm.SetOutputFile(0, dir / c.output, c.options)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
    const auto out = Probe(dir / c.output, true);
    ASSERT_TRUE(out.ok) << out.log;
    c.check(out, dir / c.output);
  }
}

TEST(EngineConversion, StreamSettingsThatCannotBeMetRefuseTheOutput) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 0.5, "160x120");
  struct Case {
    const char* options;
    const char* message;
  };
  const Case cases[] = {
      {"rc_override=0,10,x", "new_video_stream fail: error parsing rc_override"},
      {"vcodec=no_such_encoder", "new_video_stream fail: Unknown encoder 'no_such_encoder'"},
      {"acodec=mpeg4", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(clip), 0);
    EXPECT_FALSE(tm.SetOutputFile(0, dir / "out.mkv", c.options));
    EXPECT_EQ(tm.LastErrMsg(), c.message);
    EXPECT_FALSE(Exists(dir / "out.mkv"));
  }
}

TEST(EngineConversion, AVideoBitRateOutsideTheRatesInForceIsBroughtIntoThem) {
  TempDir dir;
  const std::string clip = MakeClip(dir / "in.avi", 1.0, "160x120");
  struct Case {
    const char* target;
    int bitrate;
    int64_t expected;  // the bit rate the stream declares; 0: not checked
    bool warned;
  };
  const Case cases[] = {
      {"pal-vcd", 528000, 1150000, true},    // fixed at 1150000 as minimum and maximum
      {"pal-vcd", 2000000, 1150000, true},
      {"pal-svcd", 528000, 0, false},        // no minimum, a maximum above it
      {"pal-dvd", 9500000, 0, true},         // above the maximum (the stream says no rate)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.target) + " " + std::to_string(c.bitrate));
    LogCapture log;
    TTaskManager tm;
    ASSERT_EQ(tm.AddTask(clip), 0);
    TOutputOptions rec;
    rec.ExtOptions = std::string("target=") + c.target;
    rec.VideoBitrate = c.bitrate;
    ASSERT_TRUE(tm.SetOutputFile(0, dir / "out.mpg", &rec)) << tm.LastErrMsg();
    const TTerminateInfo t = RunTask(tm);
    ASSERT_TRUE(t.Finished) << t.ExceptionMsg;
    EXPECT_EQ(!log.With("lies outside the rates").empty(), c.warned);
    const auto out = Probe(dir / "out.mpg");
    ASSERT_NE(out.First("video"), nullptr);
    if (c.expected) {
      EXPECT_EQ((*out.First("video"))["bit_rate"], std::to_string(c.expected));
    }
  }
}
