// Target presets: the values of each type and norm, norm detection and its fallback, the
// "Assuming ..." lines, and the record fields that choose a target.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "engine_option_support.h"

using namespace opttest;

class TargetPresets : public EngineTest {
protected:
  const AVCodecContext* Video() { return engine.FFOptions().avcodec_opts(mkVideo); }
  const AVCodecContext* Audio() { return engine.FFOptions().avcodec_opts(mkAudio); }
  std::string MuxerOption(const char* AKey) {
    const AVDictionaryEntry* e =
        av_dict_get(engine.FFOptions().format_private_opts(), AKey, nullptr, 0);
    return e ? e->value : "(none)";
  }
};

TEST_F(TargetPresets, PalDvd) {
  engine.ParseOption("target", "pal-dvd");
  EXPECT_EQ(o.video_codec_name, "mpeg2video");
  EXPECT_EQ(o.audio_codec_name, "ac3");
  EXPECT_EQ(o.format_name, "dvd");
  EXPECT_EQ(o.frame_width, 720);
  EXPECT_EQ(o.frame_height, 576);
  EXPECT_EQ(o.frame_rate.num, 25);
  EXPECT_EQ(o.frame_rate.den, 1);
  EXPECT_EQ(Video()->gop_size, 15);
  EXPECT_EQ(Video()->bit_rate, 6000000);
  EXPECT_EQ(Video()->rc_max_rate, 9000000);
  EXPECT_EQ(Video()->rc_min_rate, 0);
  EXPECT_EQ(Video()->rc_buffer_size, 1835008);
  EXPECT_EQ(Audio()->bit_rate, 448000);
  EXPECT_EQ(o.audio_sample_rate, 48000);
  EXPECT_EQ(o.audio_channels, 2);
  EXPECT_EQ(engine.FFOptions().avformat_opts()->packet_size, 2048u);
  EXPECT_EQ(MuxerOption("muxrate"), "10080000");
  EXPECT_NEAR(o.frame_aspect_ratio, 16.0 / 9, 1e-12);
  EXPECT_TRUE(Logged(llInfo, "Assuming 16:9 for aspect ratio"));
  EXPECT_FALSE(LoggedAnywhere("for target."));  // the norm was given
}

TEST_F(TargetPresets, NtscSvcd) {
  engine.ParseOption("ac", "1");
  engine.ParseOption("target", "ntsc-svcd");
  EXPECT_EQ(o.frame_width, 480);
  EXPECT_EQ(o.frame_height, 480);
  EXPECT_EQ(o.frame_rate.num, 30000);
  EXPECT_EQ(o.frame_rate.den, 1001);
  EXPECT_EQ(Video()->gop_size, 18);
  EXPECT_EQ(Video()->bit_rate, 2040000);
  EXPECT_EQ(Video()->rc_max_rate, 2516000);
  EXPECT_EQ(o.audio_codec_name, "mp2");
  EXPECT_EQ(Audio()->bit_rate, 224000);
  EXPECT_EQ(o.audio_sample_rate, 44100);
  EXPECT_EQ(o.audio_channels, 2);  // one channel becomes two
  EXPECT_STREQ(av_dict_get(engine.FFOptions().private_opts(mkVideo), "scan_offset", nullptr, 0)
                   ->value,
               "1");
  EXPECT_NEAR(o.frame_aspect_ratio, 4.0 / 3, 1e-12);
  EXPECT_FALSE(Logged(llError, "Invalid value"));
}

TEST_F(TargetPresets, FilmVcd) {
  engine.ParseOption("aspect", "2.35");
  engine.ParseOption("target", "film-vcd");
  EXPECT_EQ(o.video_codec_name, "mpeg1video");
  EXPECT_EQ(o.frame_width, 352);
  EXPECT_EQ(o.frame_height, 240);
  EXPECT_EQ(o.frame_rate.num, 24000);
  EXPECT_EQ(o.frame_rate.den, 1001);
  EXPECT_EQ(Video()->gop_size, 18);
  EXPECT_EQ(Video()->rc_min_rate, 1150000);
  EXPECT_EQ(Video()->rc_buffer_size, 327680);
  EXPECT_EQ(MuxerOption("muxrate"), "1411200");
  EXPECT_NEAR(o.mux_preload, 0.44, 1e-12);
  EXPECT_EQ(o.frame_aspect_ratio, 2.35);  // an aspect already set is kept
  EXPECT_FALSE(LoggedAnywhere("for aspect ratio"));
}

TEST_F(TargetPresets, DvPixelFormats) {
  struct Case {
    const char* target;
    AVPixelFormat pix_fmt;
    int height;
  };
  const Case cases[] = {{"pal-dv50", AV_PIX_FMT_YUV422P, 576},
                        {"ntsc-dv50", AV_PIX_FMT_YUV422P, 480},
                        {"ntsc-dv", AV_PIX_FMT_YUV411P, 480},
                        {"film-dv", AV_PIX_FMT_YUV411P, 480},
                        {"pal-dv", AV_PIX_FMT_YUV420P, 576}};
  for (const Case& c : cases) {
    TFFmpeg e(1);
    e.ParseOption("ac", "6");
    e.ParseOption("target", c.target);
    EXPECT_EQ(e.Options().frame_pix_fmt, c.pix_fmt) << c.target;
    EXPECT_EQ(e.Options().frame_height, c.height) << c.target;
    EXPECT_EQ(e.Options().format_name, "dv") << c.target;
    EXPECT_EQ(e.Options().audio_sample_rate, 48000) << c.target;
    EXPECT_EQ(e.Options().audio_channels, 2) << c.target;
    EXPECT_TRUE(e.Options().video_codec_name.empty()) << c.target;
    EXPECT_EQ(e.Options().frame_aspect_ratio, 0.0) << c.target;
  }
}

TEST_F(TargetPresets, NormDetection) {
  struct Case {
    const char* rate;
    const char* fallback;
    int expected_height;
    const char* assumed;
  };
  const Case cases[] = {
      {"25", "ntsc", 288, "PAL"},          {"30000/1001", "pal", 240, "NTSC"},
      {"24000/1001", "pal", 240, "NTSC"},  {"50", "pal", 288, "PAL"},
      {"50", "ntsc", 240, "NTSC"},         {"50", "film", 240, "NTSC"},
  };
  for (const Case& c : cases) {
    ClearLog();
    TFFmpeg e(1);
    e.ParseOption("r", c.rate);
    e.ApplyTarget("vcd", "auto", c.fallback);
    EXPECT_EQ(e.Options().frame_height, c.expected_height) << c.rate << " " << c.fallback;
    EXPECT_TRUE(Logged(llVerbose, std::string("Assuming ") + c.assumed + " for target."))
        << c.rate << " " << c.fallback;
  }
  // The film fallback keeps the film frame rate.
  TFFmpeg film(1);
  film.ParseOption("r", "50");
  film.ApplyTarget("vcd", "auto", "film");
  EXPECT_EQ(film.Options().frame_rate.num, 24000);
  // The inputs' video streams decide when the frame rate option does not.
  TFFmpeg inputs(1);
  inputs.ParseOption("r", "50");
  inputs.Options().input_video_rates = {{50, 1}, {25, 1}, {30000, 1001}};
  inputs.ApplyTarget("dvd", "auto", "ntsc");
  EXPECT_EQ(inputs.Options().frame_height, 576);
  // Quiet below verbosity 1.
  ClearLog();
  TFFmpeg quiet(1);
  quiet.SetVerbose(0);
  quiet.ParseOption("r", "25");
  quiet.ApplyTarget("vcd", "auto", "pal");
  EXPECT_FALSE(LoggedAnywhere("for target."));
}

TEST_F(TargetPresets, RecordFieldsChooseTheTarget) {
  TOutputOptions rec;
  rec.TargetType = ttDVD;
  rec.NormType = ntAuto;
  // No frame rate yet: refused before any input is consulted.
  engine.Options().input_video_rates = {{25, 1}};
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputRecord(rec); }), "frame_rate is invalid.");
  EXPECT_TRUE(o.video_codec_name.empty());  // nothing of the record stayed

  rec.NormType = ntNTSC;
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(o.frame_height, 480);
  EXPECT_EQ(o.audio_codec_name, "ac3");

  TFFmpeg svcd(1);
  rec.TargetType = ttSVCD;
  rec.NormType = ntAuto;
  rec.NormDefault = ntPAL;
  rec.AudioCodec = "mp3";  // the record's codecs come after the target
  svcd.ParseOption("r", "15");
  svcd.ApplyOutputRecord(rec);
  EXPECT_EQ(svcd.Options().frame_height, 576);  // fallback PAL
  EXPECT_EQ(svcd.Options().audio_codec_name, "mp3");
  EXPECT_EQ(svcd.Options().video_codec_name, "mpeg2video");
}

TEST_F(TargetPresets, UnknownTypes) {
  for (const char* value : {"pal-dvx", "laserdisc", "", "DVD"}) {
    TFFmpeg e(1);
    e.ParseOption("r", "25");
    EXPECT_EQ(ErrorOf([&] { e.ParseOption("target", value); }), "Unknown target type") << value;
  }
}
