// The option table of ParseOption: every name, what its handler stores, its refusals with
// their exact messages, and what it logs.
#include <cmath>
#include <functional>
#include <set>

extern "C" {
#include <libavutil/opt.h>
}

#include "engine_option_support.h"
#include "media/engine_options_table.h"
#include "media/engine_options_values.h"
#include "media/ffutils.h"

using namespace opttest;

namespace {

// Every name the option language knows.
const char* const kAllNames[] = {
    "L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "loglevel", "f",
    "i", "y", "map", "map_meta_data", "t", "fs", "ss", "itsoffset", "itsscale", "timestamp",
    "metadata", "dframes", "benchmark", "timelimit", "dump", "hex", "re", "loop_input",
    "loop_output", "v", "target", "threads", "vsync", "async", "adrift_threshold",
    "dts_delta_threshold", "vglobal", "copyts", "shortest", "programid", "xerror", "copyinkf",
    "b", "vb", "ab", "vframes", "aframes", "r", "s", "aspect", "pix_fmt", "croptop",
    "cropbottom", "cropleft", "cropright", "padtop", "padbottom", "padleft", "padright",
    "padcolor", "intra", "vn", "vdt", "qscale", "rc_override", "vcodec", "me_threshold", "sameq",
    "pass", "passlogfile", "deinterlace", "psnr", "vstats", "vstats_file", "vhook", "vfilters",
    "vf", "intra_matrix", "inter_matrix", "top", "dc", "vtag", "newvideo", "vlang", "qphist",
    "force_fps", "streamid", "aq", "ar", "ac", "an", "acodec", "atag", "vol", "newaudio", "alang",
    "sample_fmt", "sn", "scodec", "newsubtitle", "slang", "stag", "vc", "tvstd", "isync",
    "muxdelay", "muxpreload", "absf", "vbsf", "sbsf", "apre", "vpre", "spre", "fpre"};

}  // namespace

TEST(OptionTable, HoldsEveryNameOnce) {
  std::set<std::string> names;
  for (const TOptionDef& def : OptionTable()) {
    EXPECT_TRUE(names.insert(def.Name).second) << def.Name;
    EXPECT_EQ(FindOption(def.Name), &def);
  }
  for (const char* name : kAllNames)
    EXPECT_TRUE(names.count(name)) << name;
  EXPECT_EQ(names.size(), std::size(kAllNames));
  EXPECT_EQ(FindOption("VN"), nullptr);  // compared exactly
  EXPECT_EQ(FindOption("nonsense"), nullptr);
}

// One option applied to a fresh engine and what it must have done.
struct StoreCase {
  const char* name;
  const char* value;
  std::function<bool(const TEngineOptions&)> holds;
};

class OptionHandlers : public EngineTest {};

TEST_F(OptionHandlers, StoreTheirValues) {
  using O = TEngineOptions;
  const StoreCase cases[] = {
      {"f", "avi", [](const O& o) { return o.format_name == "avi"; }},
      {"f", "", [](const O& o) { return o.format_name.empty(); }},
      {"t", "1:02.5", [](const O& o) { return o.recording_time == 62500000; }},
      {"fs", "9000000000", [](const O& o) { return o.limit_filesize == 9000000000LL; }},
      {"ss", "2.25", [](const O& o) { return o.start_time == 2250000; }},
      {"itsoffset", "-1", [](const O& o) { return o.input_ts_offset == -1000000; }},
      {"itsscale", "3:0.5", [](const O& o) { return o.input_ts_scale[0][3] == 0.5; }},
      {"itsscale", "19,2", [](const O& o) { return o.input_ts_scale[0][19] == 2.0; }},
      {"timestamp", "2001-02-03 04:05:06Z", [](const O& o) { return o.rec_timestamp == 981173106; }},
      {"metadata", "title=a=b", [](const O& o) {
         return o.metadata.size() == 1 && o.metadata[0].first == "title" &&
                o.metadata[0].second == "a=b";
       }},
      {"dframes", "7", [](const O& o) { return o.max_frames[2] == 7; }},
      {"vframes", "8", [](const O& o) { return o.max_frames[0] == 8; }},
      {"aframes", "9", [](const O& o) { return o.max_frames[1] == 9; }},
      {"dump", "", [](const O& o) { return o.do_pkt_dump; }},
      {"hex", "1", [](const O& o) { return o.do_hex_dump; }},
      {"re", "yes", [](const O& o) { return o.rate_emu; }},
      {"loop_input", "0", [](const O& o) { return !o.loop_input; }},
      {"loop_output", "3", [](const O& o) { return o.loop_output == 3; }},
      {"vsync", "2", [](const O& o) { return o.video_sync_method == 2; }},
      {"async", "1000", [](const O& o) { return o.audio_sync_method == 1000; }},
      {"adrift_threshold", "0.25", [](const O& o) { return o.audio_drift_threshold == 0.25; }},
      {"dts_delta_threshold", "3", [](const O& o) { return o.dts_delta_threshold == 3.0; }},
      {"vglobal", "2", [](const O& o) { return o.video_global_header == 2; }},
      {"copyts", "0", [](const O& o) { return o.copy_ts; }},  // on whatever the value
      {"shortest", "", [](const O& o) { return o.opt_shortest; }},
      {"programid", "5", [](const O& o) { return o.opt_programid == 5; }},
      {"xerror", "0", [](const O& o) { return o.exit_on_error; }},
      {"copyinkf", "1", [](const O& o) { return o.copy_initial_nonkeyframes == 1; }},
      {"r", "ntsc", [](const O& o) { return o.frame_rate.num == 30000 && o.frame_rate.den == 1001; }},
      {"r", "12.5", [](const O& o) { return av_q2d(o.frame_rate) == 12.5; }},
      {"r", "", [](const O& o) { return o.frame_rate.den == 0; }},
      {"s", "cif", [](const O& o) { return o.frame_width == 352 && o.frame_height == 288; }},
      {"s", "640x360", [](const O& o) { return o.frame_width == 640 && o.frame_height == 360; }},
      {"aspect", "16:9", [](const O& o) { return std::abs(o.frame_aspect_ratio - 16.0 / 9) < 1e-12; }},
      {"aspect", "1.5", [](const O& o) { return o.frame_aspect_ratio == 1.5; }},
      {"pix_fmt", "yuv422p", [](const O& o) { return o.frame_pix_fmt == AV_PIX_FMT_YUV422P; }},
      {"intra", "", [](const O& o) { return o.intra_only; }},
      {"vn", "", [](const O& o) { return o.video_disable; }},
      {"vn", "0", [](const O& o) { return !o.video_disable; }},
      {"vn", "false", [](const O& o) { return o.video_disable; }},
      {"vdt", "16", [](const O& o) { return o.video_discard == 16; }},
      {"qscale", "255", [](const O& o) { return o.video_qscale == 255.0f; }},
      {"rc_override", "0,10,2/20,30,-50", [](const O& o) {
         return o.video_rc_override_string == "0,10,2/20,30,-50";
       }},
      {"vcodec", "mpeg4", [](const O& o) { return o.video_codec_name == "mpeg4"; }},
      {"vcodec", "copy", [](const O& o) { return o.video_stream_copy && o.video_codec_name.empty(); }},
      {"acodec", "copy", [](const O& o) { return o.audio_stream_copy; }},
      {"scodec", "mov_text", [](const O& o) { return o.subtitle_codec_name == "mov_text"; }},
      {"me_threshold", "4", [](const O& o) { return o.me_threshold == 4; }},
      {"sameq", "", [](const O& o) { return o.same_quality; }},
      {"pass", "2", [](const O& o) { return o.do_pass == 2; }},
      {"passlogfile", "/tmp/x", [](const O& o) { return o.pass_logfilename_prefix == "/tmp/x"; }},
      {"deinterlace", "", [](const O& o) { return o.do_deinterlace; }},
      {"psnr", "", [](const O& o) { return o.do_psnr; }},
      {"vstats_file", "v.log", [](const O& o) { return o.vstats_filename == "v.log"; }},
      {"vfilters", "hflip", [](const O& o) { return o.vfilters == "hflip"; }},
      {"vf", "", [](const O& o) { return o.vfilters.empty(); }},
      {"top", "0", [](const O& o) { return o.top_field_first == 0; }},
      {"dc", "10", [](const O& o) { return o.intra_dc_precision == 10; }},
      {"vtag", "XVID", [](const O& o) { return o.video_codec_tag == 0x44495658u; }},
      {"atag", "mp4a", [](const O& o) { return o.audio_codec_tag == 0x6134706Du; }},
      {"stag", "text", [](const O& o) { return o.subtitle_codec_tag == 0x74786574u; }},
      {"vlang", "eng", [](const O& o) { return o.video_language == "eng"; }},
      {"alang", "", [](const O& o) { return o.audio_language.empty(); }},
      {"slang", "chi", [](const O& o) { return o.subtitle_language == "chi"; }},
      {"qphist", "", [](const O& o) { return o.qp_hist; }},
      {"force_fps", "", [](const O& o) { return o.force_fps; }},
      {"streamid", "2:301", [](const O& o) { return o.streamid_map[2] == 301; }},
      {"aq", "4.5", [](const O& o) { return o.audio_qscale == 4.5f; }},
      {"ar", "22050", [](const O& o) { return o.audio_sample_rate == 22050; }},
      {"ar", "0", [](const O& o) { return o.audio_sample_rate == 44100; }},
      {"ac", "6", [](const O& o) { return o.audio_channels == 6; }},
      {"ac", "-1", [](const O& o) { return o.audio_channels == 2; }},
      {"an", "", [](const O& o) { return o.audio_disable; }},
      {"vol", "512", [](const O& o) { return o.audio_volume == 512; }},
      {"sample_fmt", "s16", [](const O& o) { return o.audio_sample_fmt == AV_SAMPLE_FMT_S16; }},
      {"sample_fmt", "nope", [](const O& o) { return o.audio_sample_fmt == AV_SAMPLE_FMT_NONE; }},
      {"sn", "", [](const O& o) { return o.subtitle_disable; }},
      {"vc", "2", [](const O& o) { return o.video_channel == 2; }},
      {"tvstd", "pal", [](const O& o) { return o.video_standard == "pal"; }},
      {"isync", "", [](const O& o) { return o.input_sync; }},
      {"muxdelay", "0.2", [](const O& o) { return o.mux_max_delay == 0.2; }},
      {"muxpreload", "1", [](const O& o) { return o.mux_preload == 1.0; }},
      {"map", "1.2", [](const O& o) {
         const auto& m = o.stream_maps.at(0);
         return m.file_index == 1 && m.stream_index == 2 && m.sync_file_index == 1 &&
                m.sync_stream_index == 2;
       }},
      {"map", "0:1:2.3", [](const O& o) {
         const auto& m = o.stream_maps.at(0);
         return m.file_index == 0 && m.stream_index == 1 && m.sync_file_index == 2 &&
                m.sync_stream_index == 3;
       }},
      {"map", "4", [](const O& o) {  // nothing after the file index: read no further
         const auto& m = o.stream_maps.at(0);
         return m.file_index == 4 && m.stream_index == 0;
       }},
      {"map_meta_data", "1:0", [](const O& o) {
         return o.meta_data_maps.at(0).out_file == 1 && o.meta_data_maps.at(0).in_file == 0;
       }},
      {"vbsf", "h264_mp4toannexb", [](const O& o) {
         return o.video_bitstream_filters.size() == 1 &&
                o.video_bitstream_filters[0].name == "h264_mp4toannexb";
       }},
      {"absf", "aac_adtstoasc", [](const O& o) { return o.audio_bitstream_filters.size() == 1; }},
      {"sbsf", "null=x", [](const O& o) {
         return o.subtitle_bitstream_filters.size() == 1 &&
                o.subtitle_bitstream_filters[0].name == "null" &&
                o.subtitle_bitstream_filters[0].args == "x";
       }},
      {"vbsf", "", [](const O& o) { return o.video_bitstream_filters.empty(); }},
      {"vbsf", "=null", [](const O& o) { return o.video_bitstream_filters.empty(); }},
  };
  for (const StoreCase& c : cases) {
    TFFmpeg e(20);
    EXPECT_EQ(ErrorOf([&] { e.ParseOption(c.name, c.value); }), "(no exception)")
        << c.name << "=" << c.value;
    EXPECT_TRUE(c.holds(e.Options())) << c.name << "=" << c.value;
  }
}

TEST_F(OptionHandlers, RefuseWithTheirMessages) {
  struct RefusalCase {
    const char* name;
    const char* value;
    const char* message;
  };
  const RefusalCase cases[] = {
      {"t", "soon", "Invalid duration specification for t: soon"},
      {"ss", "x", "Invalid duration specification for ss: x"},
      {"itsoffset", "", "Invalid duration specification for itsoffset: "},
      {"timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"},
      {"itsscale", "20:1", "stream index over MAX_STREAMS(20)"},
      {"itsscale", "-1:1", "stream index over MAX_STREAMS(20)"},
      {"itsscale", "99999999999999999999:1", "stream index over MAX_STREAMS(20)"},
      {"metadata", "title", "Missing ="},
      {"threads", "2", "TODO: option - threads"},
      {"r", "fast", "Incorrect frame rate"},
      {"r", "-25", "Incorrect frame rate"},
      {"s", "huge", "Incorrect frame size"},
      {"aspect", "4:0", "Incorrect aspect ratio specification."},
      {"aspect", "abc", "Incorrect aspect ratio specification."},
      {"aspect", "-4:3", "Incorrect aspect ratio specification."},
      {"aspect", "0", "Incorrect aspect ratio specification."},
      {"pix_fmt", "rgb99", "Unknown pixel format requested: rgb99"},
      {"pix_fmt", "", "Unknown pixel format requested: "},
      {"croptop", "10",
       "Vertical crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"cropbottom", "1",
       "Vertical crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"cropleft", "1",
       "Horizontal crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"cropright", "3",
       "Horizontal crop dimensions are outside the range of the original image.\n"
       "Remember to crop first and scale second."},
      {"padtop", "4", "Please use vfilters=pad"},
      {"padbottom", "", "Please use vfilters=pad"},
      {"padleft", "8", "Please use vfilters=pad"},
      {"padright", "8", "Please use vfilters=pad"},
      {"padcolor", "000000", "Please use vfilters=pad"},
      {"qscale", "0", "qscale must be > 0.0 and <= 255"},
      {"qscale", "256", "qscale must be > 0.0 and <= 255"},
      {"qscale", "-3", "qscale must be > 0.0 and <= 255"},
      {"pass", "3", "pass number can be only 1 or 2"},
      {"pass", "0", "pass number can be only 1 or 2"},
      {"streamid", "5", "Invalid value \"5\" for option \"streamid\", required syntax is "
                        "\"index:value\""},
      {"streamid", "20:1", "stream index over MAX_STREAMS(20)"},
      {"streamid", "-1:1", "stream index over MAX_STREAMS(20)"},
      {"newvideo", "", "At least one output file must be specified"},
      {"newaudio", "1", "At least one output file must be specified"},
      {"newsubtitle", "", "At least one output file must be specified"},
      {"vbsf", "no_such_filter=1", "Unknown bitstream filter no_such_filter"},
      {"absf", "nope", "Unknown bitstream filter nope"},
      {"vpre", "no-such-preset", "Preset \"no-such-preset\" not found"},
      {"target", "pal-laserdisc", "Unknown target type"},
      {"target", "vcd", "frame_rate is invalid."},
      {"intra_matrix", "1,2,3", "Syntax error in matrix \"1,2,3\" at coeff 2"},
      {"inter_matrix", "", "Syntax error in matrix \"\" at coeff 0"},
      // integers and floats that are not numbers
      {"vframes", "many", "'many' is not a valid integer value"},
      {"loop_output", "1.5", "'1.5' is not a valid integer value"},
      {"vol", "99999999999", "'99999999999' is not a valid integer value"},
      {"fs", "1e9", "'1e9' is not a valid integer value"},
      {"muxdelay", "soon", "'soon' is not a valid floating point value"},
      {"aq", "nan", "'nan' is not a valid floating point value"},
      {"croptop", "x", "'x' is not a valid integer value"},
      {"streamid", "a:1", "'a' is not a valid integer value"},
      {"loglevel", "loud", "'loud' is not a valid integer value"},
  };
  for (const RefusalCase& c : cases) {
    TFFmpeg e(20);
    EXPECT_EQ(ErrorOf([&] { e.ParseOption(c.name, c.value); }), c.message)
        << c.name << "=" << c.value;
  }
}

TEST_F(OptionHandlers, TagsOfAnotherLengthFailAnAssertion) {
  const std::pair<const char*, const char*> cases[] = {
      {"vtag", "video tag parameter must be 4 chars"},
      {"atag", "audio tag parameter must be 4 chars"},
      {"stag", "subtitle tag parameter must be 4 chars"}};
  for (auto [name, message] : cases)
    for (const char* value : {"", "abc", "abcde"}) {
      try {
        engine.ParseOption(name, value);
        ADD_FAILURE() << name << "=" << value << " was accepted";
      } catch (const TAssertionFailure& e) {
        EXPECT_EQ(std::string(e.what()).rfind(std::string(message) + " (", 0), 0u) << e.what();
      }
    }
}

TEST_F(OptionHandlers, NoOpsOnlyLog) {
  for (const char* name : {"L", "h", "version", "formats", "codecs", "bsfs", "protocols",
                           "filters", "i", "y", "benchmark"}) {
    ClearLog();
    const TEngineOptions before = o;
    engine.ParseOption(name, "1");
    EXPECT_TRUE(Logged(llInfo, std::string("Do nothing: option - ") + name)) << name;
    EXPECT_EQ(o.format_name, before.format_name);
    EXPECT_EQ(engine.FFOptions().opt_name_count(), 0) << name;
  }
  engine.ParseOption("timelimit", "10");
  EXPECT_TRUE(Logged(llWarning, "Warning: -timelimit not implemented on Windows"));
}

TEST_F(OptionHandlers, BitrateWarnsBelow1000BitsPerSecond) {
  engine.ParseOption("b", "800");
  EXPECT_TRUE(Logged(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s "
                                "as argument, not kbits/s"));
  int64_t b = 0;
  av_opt_get_int(engine.FFOptions().avcodec_opts(mkVideo), "b", 0, &b);
  EXPECT_EQ(b, 800);

  ClearLog();
  engine.ParseOption("b", "800000");
  engine.ParseOption("vb", "1200000");
  EXPECT_FALSE(LoggedAnywhere("bitrate parameter"));
  av_opt_get_int(engine.FFOptions().avcodec_opts(mkVideo), "b", 0, &b);
  EXPECT_EQ(b, 1200000);

  engine.ParseOption("ab", "96");  // read back from the audio context
  EXPECT_TRUE(LoggedAnywhere("bitrate parameter is set too low"));
  av_opt_get_int(engine.FFOptions().avcodec_opts(mkAudio), "b", 0, &b);
  EXPECT_EQ(b, 96);
  ClearLog();
  engine.ParseOption("b", "lots");  // refused by the library: no warning
  EXPECT_FALSE(LoggedAnywhere("bitrate parameter"));
}

TEST_F(OptionHandlers, CropBandsShrinkTheFrame) {
  engine.ParseOption("s", "640x480");
  engine.ParseOption("croptop", "0");  // ignored
  engine.ParseOption("croptop", "16");
  EXPECT_TRUE(Logged(llWarning, "CropXXX is deprecated in favor of the crop avfilter"));
  engine.ParseOption("cropbottom", "8");
  engine.ParseOption("cropleft", "-4");  // ignored
  engine.ParseOption("cropright", "40");
  EXPECT_EQ(o.frame_topBand, 16);
  EXPECT_EQ(o.frame_bottomBand, 8);
  EXPECT_EQ(o.frame_leftBand, 0);
  EXPECT_EQ(o.frame_rightBand, 40);
  EXPECT_EQ(o.frame_height, 456);
  EXPECT_EQ(o.frame_width, 600);
  // Not smaller than what is left of the height.
  EXPECT_EQ(ErrorOf([&] { engine.ParseOption("cropbottom", "456"); }).substr(0, 8), "Vertical");
  engine.ParseOption("cropbottom", "455");
  EXPECT_EQ(o.frame_height, 1);
}

TEST_F(OptionHandlers, MatricesTakeExactly64Coefficients) {
  std::string values;
  for (int i = 1; i <= 64; ++i)
    values += (i > 1 ? "," : "") + std::to_string(i);
  engine.ParseOption("intra_matrix", values);
  ASSERT_EQ(o.intra_matrix.size(), 64u);
  EXPECT_EQ(o.intra_matrix[0], 1);
  EXPECT_EQ(o.intra_matrix[63], 64);
  EXPECT_TRUE(o.inter_matrix.empty());

  const std::string short_list = values.substr(0, values.rfind(','));  // 63 values
  EXPECT_EQ(ErrorOf([&] { engine.ParseOption("inter_matrix", short_list); }),
            "Syntax error in matrix \"" + short_list + "\" at coeff 62");
  EXPECT_EQ(ErrorOf([&] { engine.ParseOption("inter_matrix", values + ",65"); }),
            "Syntax error in matrix \"" + values + ",65\" at coeff 64");
  // Reuse clears what the previous matrix held.
  engine.ParseOption("intra_matrix", "9" + std::string(63 * 2, ',').substr(0, 63));
  EXPECT_EQ(o.intra_matrix[0], 9);
  EXPECT_EQ(o.intra_matrix[63], 0);
}

TEST_F(OptionHandlers, FormatPgmyuvBecomesImage2) {
  engine.ParseOption("f", "pgmyuv");
  EXPECT_EQ(o.format_name, "image2");
  EXPECT_TRUE(o.pgmyuv_compatibility_hack);
  EXPECT_TRUE(Logged(llInfo, "pgmyuv format is deprecated, use image2"));
}

TEST_F(OptionHandlers, RecordingTimeIsTheExpectedDuration) {
  engine.ParseOption("t", "10");
  EXPECT_EQ(o.recording_time, 10000000);
  EXPECT_EQ(engine.TotalOutputDuration(), 10000000);
}

TEST_F(OptionHandlers, VerbosityLogLevelAndLists) {
  engine.ParseOption("v", "3");
  EXPECT_EQ(engine.Verbose(), 3);
  engine.ParseOption("loglevel", "warning");
  EXPECT_EQ(LoggerInstance().LogLevel(), llWarning);
  LoggerInstance().SetLogLevel(llDebug);
  engine.ParseOption("pix_fmt", "list");
  EXPECT_TRUE(Logged(llInfo, "yuv420p"));
  EXPECT_EQ(o.frame_pix_fmt, AV_PIX_FMT_NONE);
  engine.ParseOption("sample_fmt", "list");
  EXPECT_TRUE(Logged(llInfo, "fltp"));
}

TEST_F(OptionHandlers, VstatsNamesAFileInTheProgramFolder) {
  engine.ParseOption("vstats", "");
  const std::string name = o.vstats_filename;
  const std::string prefix = ExeFolder() + "vstats_";
  ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
  EXPECT_EQ(name.size(), prefix.size() + 6 + 4);  // hhnnss.log
  EXPECT_EQ(name.substr(name.size() - 4), ".log");
}

TEST_F(OptionHandlers, TablesAreNeverWrittenOutOfBounds) {
  // itsscale rows follow the inputs; there is one row per input slot.
  TFFmpeg small(1);
  small.ParseOption("itsscale", "0:2");
  EXPECT_EQ(small.Options().input_ts_scale.size(), 1u);
  // Stream maps: at most MaxFiles * 20, metadata maps at most MaxFiles.
  for (int i = 0; i < MaxStreams; ++i)
    small.ParseOption("map", "0." + std::to_string(i));
  EXPECT_EQ(ErrorOf([&] { small.ParseOption("map", "0.0"); }), "Too many stream maps (at most 20)");
  small.ParseOption("map_meta_data", "0:0");
  EXPECT_EQ(ErrorOf([&] { small.ParseOption("map_meta_data", "0:0"); }),
            "Too many metadata maps (at most 1)");
}

TEST_F(OptionHandlers, UnknownNamesGoToTheLibraryOptions) {
  engine.ParseOption("qmin", "3");  // generic codec option
  engine.ParseOption("no_such_option", "1");  // ignored
  int64_t qmin = 0;
  av_opt_get_int(engine.FFOptions().avcodec_opts(mkVideo), "qmin", 0, &qmin);
  EXPECT_EQ(qmin, 3);
  EXPECT_EQ(engine.FFOptions().opt_names(), std::vector<std::string>{"qmin"});
}

TEST_F(OptionHandlers, InitEngineResetsEveryOption) {
  const std::string matrix(63, ',');
  for (auto [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"pix_fmt", "gray"}, {"sample_fmt", "s16"}, {"vframes", "1"}, {"top", "1"},
           {"dc", "9"}, {"loop_output", "2"}, {"ar", "8000"}, {"ac", "1"}, {"aq", "3"},
           {"muxpreload", "2"}, {"muxdelay", "2"}, {"t", "5"}, {"vsync", "1"}, {"async", "1"},
           {"adrift_threshold", "1"}, {"dts_delta_threshold", "1"}, {"vol", "1"}, {"v", "5"},
           {"sws_flags", "neighbor"}, {"map", "0.0"}, {"metadata", "a=b"}, {"vcodec", "copy"},
           {"s", "cif"}, {"r", "25"}, {"intra_matrix", matrix.c_str()}})
    engine.ParseOption(name, value);
  engine.InitEngine();
  const TEngineOptions fresh(20);
  EXPECT_EQ(o.frame_pix_fmt, AV_PIX_FMT_NONE);
  EXPECT_EQ(o.audio_sample_fmt, AV_SAMPLE_FMT_NONE);
  EXPECT_EQ(o.max_frames, (std::array<int, 4>{INT_MAX, INT_MAX, INT_MAX, INT_MAX}));
  EXPECT_EQ(o.top_field_first, -1);
  EXPECT_EQ(o.intra_dc_precision, 8);
  EXPECT_EQ(o.loop_output, -1);
  EXPECT_EQ(o.audio_sample_rate, 44100);
  EXPECT_EQ(o.audio_channels, 2);
  EXPECT_EQ(o.audio_qscale, -99999.0f);
  EXPECT_EQ(o.mux_preload, 0.5);
  EXPECT_EQ(o.mux_max_delay, 0.7);
  EXPECT_EQ(o.recording_time, INT64_MAX);
  EXPECT_EQ(o.video_sync_method, -1);
  EXPECT_EQ(o.audio_sync_method, 0);
  EXPECT_EQ(o.audio_drift_threshold, 0.1);
  EXPECT_EQ(o.dts_delta_threshold, 10.0);
  EXPECT_EQ(o.audio_volume, 256);
  EXPECT_EQ(engine.Verbose(), 1);
  EXPECT_EQ(o.thread_count, 1);
  EXPECT_EQ(o.sws_flags, 4);
  EXPECT_EQ(engine.FFOptions().SwsFlags(), 4);
  EXPECT_EQ(o.bit_buffer_size, 262144);
  EXPECT_TRUE(o.stream_maps.empty() && o.metadata.empty() && o.intra_matrix.empty());
  EXPECT_FALSE(o.video_stream_copy);
  EXPECT_EQ(o.frame_width, 0);
  EXPECT_EQ(o.frame_rate.den, 0);
  EXPECT_EQ(engine.TotalOutputDuration(), -1);
  EXPECT_EQ(o.input_ts_scale.size(), fresh.input_ts_scale.size());
}
