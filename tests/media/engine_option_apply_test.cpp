// Applying option records: the stream defaults and their queue, the order of the output
// steps, the fixed fields, the input record, the text forms through the task manager, and
// refusals that leave the options untouched.
#include <cmath>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine_option_support.h"
#include "media/task_manager.h"
#include "engine_fixtures.h"
#include "task_manager_support.h"

using namespace opttest;

class ApplyRecords : public EngineTest {
protected:
  // Applies AOptions as SetOutputFile does, with an output opened in between.
  void DescribeOutput(const TOutputOptions& AOptions) {
    engine.ApplyOutputRecord(AOptions);
    ASSERT_GE(engine.OpenOutput(dir_ / ("out" + std::to_string(engine.OutputCount()) + ".mkv"),
                                false),
              0)
        << engine.LastErrMsg();
    engine.Options().ResetOutputSettings();
    engine.ApplyNewStreamLines(AOptions);
  }
  tmtest::TempDir dir_;
};

TEST_F(ApplyRecords, QueuedCodecsGoToTheAddedStreamsInOrder) {
  TOutputOptions rec;
  rec.VideoCodec = "mpeg2video";
  rec.ExtOptions = "vcodec=libx264\nnewvideo=1\nvcodec=mpeg4\nnewvideo=1\n";
  engine.BuildStreamDefaults(rec);
  EXPECT_EQ(engine.StreamDefaults().Default("vcodec"), "mpeg2video");
  ASSERT_EQ(engine.StreamDefaults().queue.size(), 2u);

  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(o.video_codec_name, "mpeg2video");  // the output's own video stream
  ASSERT_GE(engine.OpenOutput(dir_ / "out.mpg", false), 0);
  engine.Options().ResetOutputSettings();
  engine.ApplyNewStreamLines(rec);
  ASSERT_EQ(o.new_streams.size(), 2u);
  EXPECT_EQ(o.new_streams[0].codec_name, "libx264");
  EXPECT_EQ(o.new_streams[1].codec_name, "mpeg4");
  EXPECT_EQ(o.new_streams[0].kind, mkVideo);
  EXPECT_EQ(o.new_streams[0].output_index, 0);
  EXPECT_TRUE(o.video_codec_name.empty());  // taken by the stream
}

TEST_F(ApplyRecords, AnEmptyRecordFieldTakesTheFirstQueuedLine) {
  TOutputOptions rec;
  rec.ExtOptions = "vcodec=mpeg4<CRLF>b=2000000<CRLF>acodec=<CRLF>vfilters=hflip";
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(engine.StreamDefaults().Default("vcodec"), "mpeg4");
  EXPECT_EQ(engine.StreamDefaults().Default("acodec"), "");  // an empty value is not taken
  EXPECT_EQ(engine.StreamDefaults().Default("vf"), "hflip");  // vfilters is stored as vf
  EXPECT_EQ(o.video_codec_name, "mpeg4");
  EXPECT_EQ(o.vfilters, "hflip");
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->bit_rate, 2000000);
}

TEST_F(ApplyRecords, AddedStreamsFallBackToTheDefaults) {
  TOutputOptions rec;
  rec.AudioCodec = "mp2";
  rec.FrameSize = "320x240";
  rec.ExtOptions = "s=640x480\nnewvideo\nnewaudio\nnewvideo\nnewsubtitle\n";
  DescribeOutput(rec);
  ASSERT_EQ(o.new_streams.size(), 4u);
  EXPECT_EQ(o.new_streams[0].frame_width, 640);  // the queued size
  EXPECT_EQ(o.new_streams[1].kind, mkAudio);
  EXPECT_EQ(o.new_streams[1].codec_name, "mp2");  // def_acodec
  EXPECT_EQ(o.new_streams[2].frame_width, 320);   // queue used up: def_s
  EXPECT_EQ(o.new_streams[3].kind, mkSubtitle);
}

TEST_F(ApplyRecords, OutputLinesTheDefaultsHandleAreNotParsedTwice) {
  TOutputOptions rec;
  rec.FrameSize = "320x240";
  rec.ExtOptions = "s=160x120\nvpre=nonexistent-preset-file\n";
  // vpre reaches the preset step only through the defaults (it is queued), so it fails there.
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputRecord(rec); }),
            "Preset \"nonexistent-preset-file\" not found");
  rec.ExtOptions = "s=160x120\n";
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(o.frame_width, 320);  // the record's size wins; the line only queues
}

TEST_F(ApplyRecords, BitrateWarningOnlyForTheOptionLanguage) {
  TOutputOptions rec;
  rec.VideoBitrate = 800;
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->bit_rate, 800);
  EXPECT_FALSE(LoggedAnywhere("bitrate parameter is set too low"));
  TOutputOptions text;
  text.ExtOptions = "b=800";
  engine.ApplyOutputRecord(text);
  EXPECT_TRUE(Logged(llWarning, "bitrate parameter is set too low"));
}

TEST_F(ApplyRecords, CropWithoutAFrameSizeIsRefused) {
  TOutputOptions rec;
  rec.CropTop = 10;
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputRecord(rec); }),
            "Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  // The frame size is applied after the crop bands, so a record's own size does not help.
  rec.FrameSize = "640x480";
  EXPECT_NE(ErrorOf([&] { engine.ApplyOutputRecord(rec); }), "(no exception)");
  engine.ParseOption("s", "640x480");
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(o.frame_topBand, 10);
  EXPECT_EQ(o.frame_height, 480);  // the record's size came last
}

TEST_F(ApplyRecords, FixedFieldsReachTheirSettings) {
  TOutputOptions r;
  r.FileFormat = "mp4";
  r.PacketSize = 1000;
  r.MuxDelay = 0.25f;
  r.MuxPreload = 0.75f;
  r.DisableAudio = true;
  r.AudioVolume = 0;
  r.AudioChannels = 1;
  r.AudioSampleRate = 22050;
  r.AudioBitrate = 96000;
  r.AudioBitRateTolerance = 5000;
  r.AudioLanguage = "eng";
  r.AudioSyncMethod = 1;
  r.AudioTag = "mp4a";
  r.FrameRate = "pal";
  r.FrameAspectRatio = "4:3";
  r.GroupPictureSize = 12;
  r.VideoMaxRate = 3000000;
  r.VideoMinRate = 100000;
  r.VideoBitRateTolerance = 7000;
  r.VideoBufSize = 1835008;
  r.VideoSyncMethod = 2;
  r.VideoTag = "mp4v";
  r.VideoLanguage = "chi";
  r.DisableSubtitle = true;
  r.SubtitleLanguage = "jpn";
  r.InputSync = true;
  r.CopyTimestamp = true;
  r.TimeStart = 1500000;
  r.TimeLength = 9000000;
  r.Info.Year = 2010;
  r.Info.Track = 3;
  r.Info.Title = "T";
  r.Info.Genre = "G";
  engine.ApplyOutputRecord(r);

  EXPECT_EQ(o.format_name, "mp4");
  EXPECT_EQ(engine.FFOptions().avformat_opts()->packet_size, 1000u);
  EXPECT_FLOAT_EQ(o.mux_max_delay, 0.25f);
  EXPECT_FLOAT_EQ(o.mux_preload, 0.75f);
  EXPECT_TRUE(o.audio_disable);
  EXPECT_EQ(o.audio_volume, 0);
  EXPECT_EQ(o.audio_channels, 1);
  EXPECT_EQ(o.audio_sample_rate, 22050);
  const AVCodecContext* audio = engine.FFOptions().avcodec_opts(mkAudio);
  const AVCodecContext* video = engine.FFOptions().avcodec_opts(mkVideo);
  EXPECT_EQ(audio->bit_rate, 96000);
  EXPECT_EQ(audio->bit_rate_tolerance, 5000);
  EXPECT_EQ(o.audio_language, "eng");
  EXPECT_EQ(o.audio_sync_method, 1);
  EXPECT_EQ(o.audio_codec_tag, 0x6134706Du);
  EXPECT_EQ(o.frame_rate.num, 25);
  EXPECT_NEAR(o.frame_aspect_ratio, 4.0 / 3, 1e-12);
  EXPECT_EQ(video->gop_size, 12);
  EXPECT_EQ(video->rc_max_rate, 3000000);
  EXPECT_EQ(video->rc_min_rate, 100000);
  EXPECT_EQ(video->bit_rate_tolerance, 7000);
  EXPECT_EQ(video->rc_buffer_size, 1835008);
  EXPECT_EQ(o.video_sync_method, 2);
  EXPECT_EQ(o.video_language, "chi");
  EXPECT_TRUE(o.subtitle_disable);
  EXPECT_EQ(o.subtitle_language, "jpn");
  EXPECT_TRUE(o.input_sync);
  EXPECT_TRUE(o.copy_ts);
  EXPECT_EQ(o.start_time, 1500000);
  EXPECT_EQ(o.recording_time, 9000000);
  EXPECT_EQ(engine.TotalOutputDuration(), 9000000);
  EXPECT_EQ(o.metadata, (std::vector<std::pair<std::string, std::string>>{
                            {"year", "2010"}, {"track", "3"}, {"title", "T"}, {"genre", "G"}}));
  EXPECT_EQ(o.rec_timestamp, 0);
}

TEST_F(ApplyRecords, DefaultFieldsChangeNothing) {
  const TEngineOptions before = o;
  engine.ApplyOutputRecord(TOutputOptions());
  EXPECT_EQ(engine.FFOptions().opt_name_count(), 0);
  EXPECT_EQ(o.audio_volume, before.audio_volume);
  EXPECT_EQ(o.video_sync_method, -1);
  EXPECT_EQ(o.recording_time, INT64_MAX);
  EXPECT_EQ(o.rec_timestamp, 0);
  EXPECT_TRUE(o.metadata.empty());
  EXPECT_EQ(engine.TotalOutputDuration(), -1);
}

TEST_F(ApplyRecords, RecordingTimestamps) {
  TOutputOptions r;
  r.Info.TimeStamp = 0;  // now
  const int64_t now = std::time(nullptr);
  engine.ApplyOutputRecord(r);
  EXPECT_NEAR(static_cast<double>(o.rec_timestamp), static_cast<double>(now), 5);

  // 2001-01-01 12:00 local time as a day count.
  std::tm local{};
  local.tm_year = 101;
  local.tm_mday = 1;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const int64_t expected = std::mktime(&local);
  r.Info.TimeStamp = 36892.5;
  engine.ApplyOutputRecord(r);
  // The offset now in force is used, so a daylight-saving difference may show.
  EXPECT_LE(std::abs(o.rec_timestamp - expected), 3600);
}

TEST_F(ApplyRecords, InputRecord) {
  TInputOptions in;
  in.FileFormat = "rawvideo";
  in.TimeStart = 2000000;
  in.ProgramID = 0;
  in.ExtOptions = "s=176x144\nvcodec=rawvideo\nvf=hflip\nnewvideo\nvpre=x";
  engine.ApplyInputRecord(in);
  EXPECT_EQ(o.format_name, "rawvideo");
  EXPECT_EQ(o.start_time, 2000000);
  EXPECT_EQ(o.opt_programid, 0);
  EXPECT_EQ(o.frame_width, 176);  // s and vcodec apply to inputs
  EXPECT_EQ(o.video_codec_name, "rawvideo");
  EXPECT_TRUE(o.vfilters.empty());  // skipped, as newvideo and vpre
  EXPECT_TRUE(o.new_streams.empty());
  TFFmpeg other(20);
  other.ApplyInputRecord(TInputOptions());
  EXPECT_EQ(other.Options().start_time, 0);
  EXPECT_EQ(other.Options().opt_programid, 0);
}

TEST_F(ApplyRecords, ExtOptionNamesAreLowerCasedValuesKept) {
  engine.ApplyExtOptions("VN\nVLang=ENG\n AN=1\nvn=0", false);
  EXPECT_FALSE(o.video_disable);  // the last line turned it off again
  EXPECT_EQ(o.video_language, "ENG");
  EXPECT_FALSE(o.audio_disable);  // " an" is not a table name
}

TEST_F(ApplyRecords, ARefusedRecordLeavesTheOptionsAsTheyWere) {
  engine.ParseOption("vcodec", "mpeg4");
  TOutputOptions rec;
  rec.ExtOptions = "an\nqmin=5\nab=64000\nvtag=toolong";
  EXPECT_NE(ErrorOf([&] { engine.ApplyOutputRecord(rec); }), "(no exception)");
  EXPECT_FALSE(o.audio_disable);
  EXPECT_EQ(o.video_codec_name, "mpeg4");
  EXPECT_EQ(engine.FFOptions().opt_name_count(), 0);
  EXPECT_NE(engine.FFOptions().avcodec_opts(mkVideo)->qmin, 5);
  TInputOptions in;
  in.ExtOptions = "t=5\nv=4\npass=7";
  EXPECT_EQ(ErrorOf([&] { engine.ApplyInputRecord(in); }), "pass number can be only 1 or 2");
  EXPECT_EQ(o.recording_time, INT64_MAX);
  EXPECT_EQ(engine.TotalOutputDuration(), -1);
  EXPECT_EQ(engine.Verbose(), 1);
}

TEST_F(ApplyRecords, ResetAfterInputsAndOutputs) {
  engine.ParseOption("f", "avi");
  engine.ParseOption("vcodec", "mpeg4");
  engine.ParseOption("vc", "3");
  engine.Options().ResetInputSettings();
  EXPECT_TRUE(o.format_name.empty());
  EXPECT_TRUE(o.video_codec_name.empty());
  EXPECT_EQ(o.video_channel, 0);

  engine.ParseOption("acodec", "copy");
  engine.ParseOption("streamid", "0:5");
  engine.ParseOption("metadata", "a=b");
  engine.ParseOption("vbsf", "null");
  engine.ParseOption("s", "320x240");
  engine.Options().ResetOutputSettings();
  EXPECT_FALSE(o.audio_stream_copy);
  EXPECT_EQ(o.streamid_map[0], 0);
  EXPECT_TRUE(o.metadata.empty());
  EXPECT_TRUE(o.video_bitstream_filters.empty());
  EXPECT_EQ(o.frame_width, 320);  // not a per-stream setting
}

// ---- through the task manager ------------------------------------------------------------

class ApplyThroughTaskManager : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    in_ = enginetest::MakeTone(dir_ / "in.wav", 0.1);
    ASSERT_EQ(tm_.AddTask(in_), 0) << tm_.LastErrMsg();
    task_ = tm_.FFmpegList().Get(0);
  }
  tmtest::TempDir dir_;
  std::string in_;
  tmtest::TestTaskManager tm_;
  TFFmpeg* task_ = nullptr;
};

TEST_F(ApplyThroughTaskManager, HookAndJoinLinesIgnoreTheirValues) {
  ASSERT_TRUE(tm_.AddInputFile(0, in_));
  ASSERT_TRUE(tm_.SetOutputFile(0, dir_ / "out.wav", "Hook=0<CRLF>Join")) << tm_.LastErrMsg();
  EXPECT_TRUE(task_->OutputOptions(0).CustomHook);
  EXPECT_TRUE(task_->OutputOptions(0).Join);
  EXPECT_TRUE(task_->JoinMode());
  EXPECT_TRUE(static_cast<bool>(task_->OnCustomHook));
}

TEST_F(ApplyThroughTaskManager, RefusalsFailTheOperationWithTheirText) {
  EXPECT_FALSE(tm_.SetOutputFile(0, dir_ / "out.wav", "padleft=4"));
  EXPECT_EQ(tm_.LastErrMsg(), "Please use vfilters=pad");
  EXPECT_FALSE(tmtest::Exists(dir_ / "out.wav"));  // not opened
  EXPECT_EQ(task_->OutputCount(), 0);
  EXPECT_EQ(task_->OutputOptions(0).ExtOptions, "");  // slot back to its defaults

  TOutputOptions crop;
  crop.CropTop = 10;
  EXPECT_FALSE(tm_.SetOutputFile(0, dir_ / "out.wav", &crop));
  EXPECT_EQ(tm_.LastErrMsg().substr(0, 41), "Vertical crop dimensions are outside the ");

  EXPECT_FALSE(tm_.AddInputFile(0, in_, "threads=2"));
  EXPECT_EQ(tm_.LastErrMsg(), "TODO: option - threads");
  EXPECT_EQ(task_->InputCount(), 1);
  EXPECT_EQ(tm_.AddTask(in_, "qscale=0"), -1);
  EXPECT_EQ(tm_.LastErrMsg(), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(tm_.TasksCount(), 1);

  // A queued setting that is refused when the stream is added, after the output opened.
  TOutputOptions queued;
  queued.FrameSize = "320x240";
  queued.ExtOptions = "s=huge\nnewvideo";
  EXPECT_FALSE(tm_.SetOutputFile(0, dir_ / "out2.wav", &queued));
  EXPECT_EQ(tm_.LastErrMsg(), "Incorrect frame size");
  EXPECT_TRUE(task_->Options().new_streams.empty());
}

TEST_F(ApplyThroughTaskManager, SettingsOfOneFileDoNotReachTheNext) {
  ASSERT_TRUE(tm_.AddInputFile(0, in_, "f=wav<CRLF>acodec=pcm_s16le")) << tm_.LastErrMsg();
  EXPECT_TRUE(task_->Options().audio_codec_name.empty());
  EXPECT_TRUE(task_->Options().format_name.empty());
  TOutputOptions rec;
  rec.VideoCodec = "mpeg4";
  rec.ExtOptions = "metadata=title=x\nnewaudio\nacodec=mp2";
  ASSERT_TRUE(tm_.SetOutputFile(0, dir_ / "out.mkv", &rec)) << tm_.LastErrMsg();
  EXPECT_TRUE(task_->Options().video_codec_name.empty());
  EXPECT_TRUE(task_->Options().metadata.empty());
  ASSERT_EQ(task_->Options().new_streams.size(), 1u);
  EXPECT_EQ(task_->Options().new_streams[0].codec_name, "mp2");
}
