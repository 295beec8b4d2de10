// Built-in presets (every one applies to libx264 and encodes), their tendencies, the lookup
// with codec-qualified names, preset files and the preset messages.
#include <algorithm>
#include <fstream>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include "engine_option_support.h"
#include "media/engine_presets.h"
#include "task_manager_support.h"

using namespace opttest;

namespace {

std::map<std::string, std::string> PresetLines(const std::string& AName) {
  std::map<std::string, std::string> lines;
  std::string text = BuiltinPresetText(AName).value();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    size_t eq = line.find('=');
    lines[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return lines;
}

int IntLine(const std::string& APreset, const std::string& AName) {
  return std::stoi(PresetLines(APreset).at(AName));
}

// Opens libx264 with what the engine recorded and encodes a few frames; returns the packet
// count, or -1 when the encoder refused to open or left recorded private options unused.
int EncodeWithRecordedOptions(const TFFOptions& AStore, std::string& AError) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVDictionary* priv = nullptr;
  AStore.CopyCodecOptions(ctx, mkVideo, true, &priv);
  ctx->width = 64;
  ctx->height = 48;
  ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  ctx->time_base = {1, 25};
  ctx->thread_count = 1;
  int packets = -1;
  int ret = avcodec_open2(ctx, codec, &priv);
  if (ret < 0) {
    AError = "avcodec_open2 failed: " + std::to_string(ret);
  } else if (av_dict_count(priv) > 0) {
    AError = std::string("unused option ") + av_dict_get(priv, "", nullptr, AV_DICT_IGNORE_SUFFIX)->key;
  } else {
    packets = 0;
    AVFrame* frame = av_frame_alloc();
    frame->width = 64;
    frame->height = 48;
    frame->format = AV_PIX_FMT_YUV420P;
    av_frame_get_buffer(frame, 0);
    AVPacket* pkt = av_packet_alloc();
    for (int i = 0; i <= 8; ++i) {
      AVFrame* send = nullptr;
      if (i < 8) {
        av_frame_make_writable(frame);
        for (int p = 0; p < 3; ++p)
          for (int y = 0; y < (p ? 24 : 48); ++y)
            for (int x = 0; x < (p ? 32 : 64); ++x)
              frame->data[p][y * frame->linesize[p] + x] = static_cast<uint8_t>(x * 3 + y + i * 7);
        frame->pts = i;
        send = frame;
      }
      if (avcodec_send_frame(ctx, send) < 0)
        break;
      while (avcodec_receive_packet(ctx, pkt) == 0) {
        ++packets;
        av_packet_unref(pkt);
      }
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
  }
  av_dict_free(&priv);
  avcodec_free_context(&ctx);
  return packets;
}

}  // namespace

TEST(BuiltinPresets, NamesInTableOrder) {
  const std::vector<std::string> expected = {
      "libx264-baseline", "libx264-default", "libx264-fast", "libx264-fast_firstpass",
      "libx264-faster", "libx264-faster_firstpass", "libx264-fastfirstpass", "libx264-hq",
      "libx264-ipod320", "libx264-ipod640", "libx264-lossless_fast", "libx264-lossless_max",
      "libx264-lossless_medium", "libx264-lossless_slow", "libx264-lossless_slower",
      "libx264-lossless_ultrafast", "libx264-main", "libx264-max", "libx264-medium",
      "libx264-medium_firstpass", "libx264-normal", "libx264-placebo",
      "libx264-placebo_firstpass", "libx264-slow", "libx264-slow_firstpass", "libx264-slower",
      "libx264-slower_firstpass", "libx264-slowfirstpass", "libx264-superfast",
      "libx264-superfast_firstpass", "libx264-ultrafast", "libx264-ultrafast_firstpass",
      "libx264-veryfast", "libx264-veryfast_firstpass", "libx264-veryslow",
      "libx264-veryslow_firstpass"};
  std::vector<std::string> names(BuiltinPresetNames().begin(), BuiltinPresetNames().end());
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(BuiltinPresetText("LIBX264-Default").has_value());
  EXPECT_FALSE(BuiltinPresetText("libx264-defaults").has_value());
}

TEST(BuiltinPresets, DefaultAndPartialSetsAsWritten) {
  EXPECT_EQ(*BuiltinPresetText("libx264-default"),
            "coder=1\nflags=+loop\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\n"
            "subq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
            "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirect-pred=1\n"
            "trellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\nfast-pskip=1\nwpredp=2\n");
  EXPECT_EQ(*BuiltinPresetText("libx264-main"), "8x8dct=0\n");
  EXPECT_EQ(*BuiltinPresetText("libx264-baseline"),
            "coder=0\nbf=0\nweightb=0\n8x8dct=0\nwpredp=0\n");
  auto ipod = PresetLines("libx264-ipod640");
  EXPECT_EQ(ipod.at("level"), "30");
  EXPECT_EQ(ipod.at("maxrate"), "10000000");
  EXPECT_EQ(ipod.at("refs"), "1");
  EXPECT_EQ(PresetLines("libx264-ipod320").at("bufsize"), "3000000");
  auto hq = PresetLines("libx264-hq");
  EXPECT_EQ(hq.at("me_method"), "umh");
  EXPECT_EQ(hq.at("direct-pred"), "3");
  auto max = PresetLines("libx264-max");
  EXPECT_EQ(max.at("me_method"), "tesa");
  EXPECT_EQ(max.at("partitions"), "i8x8,i4x4,p8x8,p4x4,b8x8");
  EXPECT_EQ(max.at("fast-pskip"), "0");
}

TEST(BuiltinPresets, KeepTheirTendencies) {
  // Slower speed presets search at least as hard as faster ones.
  const char* speeds[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                          "medium",    "slow",      "slower",   "veryslow", "placebo"};
  for (size_t i = 1; i < std::size(speeds); ++i) {
    std::string faster = std::string("libx264-") + speeds[i - 1];
    std::string slower = std::string("libx264-") + speeds[i];
    EXPECT_LE(IntLine(faster, "subq"), IntLine(slower, "subq")) << slower;
    EXPECT_LE(IntLine(faster, "refs"), IntLine(slower, "refs")) << slower;
    EXPECT_LE(IntLine(faster, "trellis"), IntLine(slower, "trellis")) << slower;
  }
  for (const char* name : BuiltinPresetNames()) {
    std::string n = name;
    auto lines = PresetLines(n);
    if (n.find("firstpass") != std::string::npos && n != "libx264-slowfirstpass") {
      EXPECT_EQ(lines.at("refs"), "1") << n;
      EXPECT_EQ(lines.at("trellis"), "0") << n;
      EXPECT_EQ(lines.at("partitions"), "none") << n;
      EXPECT_EQ(lines.at("me_method"), "dia") << n;
      EXPECT_LE(std::stoi(lines.at("subq")), 2) << n;
    }
    if (n.find("lossless") != std::string::npos) {
      EXPECT_EQ(lines.at("qp"), "0") << n;
      EXPECT_EQ(lines.at("bf"), "0") << n;
    }
  }
}

class Presets : public EngineTest {};

TEST_F(Presets, EveryBuiltinPresetAppliesToLibx264AndEncodes) {
  for (const char* name : BuiltinPresetNames()) {
    TFFmpeg e(1);
    e.ParseOption("vcodec", "libx264");
    ASSERT_EQ(ErrorOf([&] { e.ApplyPreset("vpre", name); }), "(no exception)") << name;
    EXPECT_FALSE(Logged(llError, "Invalid value")) << name;
    std::string error;
    EXPECT_GT(EncodeWithRecordedOptions(e.FFOptions(), error), 0) << name << ": " << error;
  }
}

TEST_F(Presets, PresetsReachTheEncoderOptions) {
  engine.ParseOption("vcodec", "libx264");
  engine.ParseOption("vpre", "libx264-lossless_max");
  const AVDictionary* priv = engine.FFOptions().private_opts(mkVideo);
  EXPECT_STREQ(av_dict_get(priv, "qp", nullptr, 0)->value, "0");
  EXPECT_STREQ(av_dict_get(priv, "me_method", nullptr, 0)->value, "esa");
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->refs, 16);
}

TEST_F(Presets, CodecQualifiedLookup) {
  // Without a codec "default" is a file name; with libx264 chosen it is libx264-default.
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("vpre", "default"); }),
            "Preset \"default\" not found");
  engine.ParseOption("vcodec", "libx264");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("vpre", "default"); }), "(no exception)");
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->gop_size, 250);
  // Found directly, in any letter case; without a chosen encoder the preset's own encoder
  // takes its private options.
  TFFmpeg other(1);
  EXPECT_EQ(ErrorOf([&] { other.ApplyPreset("vpre", "LIBX264-FAST"); }), "(no exception)");
  EXPECT_EQ(other.FFOptions().avcodec_opts(mkVideo)->me_subpel_quality, 6);
  EXPECT_STREQ(av_dict_get(other.FFOptions().private_opts(mkVideo), "coder", nullptr, 0)->value,
               "1");
  // fpre always names a file.
  EXPECT_EQ(ErrorOf([&] { other.ApplyPreset("fpre", "libx264-fast"); }),
            "Preset \"libx264-fast\" not found");
  // Empty kinds or values do nothing.
  EXPECT_EQ(ErrorOf([&] { other.ApplyPreset("vpre", ""); }), "(no exception)");
  EXPECT_EQ(ErrorOf([&] { other.ApplyPreset("", "x"); }), "(no exception)");
}

TEST_F(Presets, PresetFiles) {
  tmtest::TempDir dir;
  const std::string good = dir / "good.ffpreset";
  tmtest::WriteFile(good, "  \r\n vcodec=mpeg4 \r\n\r\nqmin = 3\r\ng=12\n");
  engine.ApplyPreset("vpre", good);
  EXPECT_EQ(o.video_codec_name, "mpeg4");
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->qmin, 3);
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->gop_size, 12);

  const std::string empty = dir / "empty.ffpreset";
  tmtest::WriteFile(empty, "");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("fpre", empty); }), "(no exception)");

  const std::string bad = dir / "bad.ffpreset";
  tmtest::WriteFile(bad, "g=10\nqmin\n");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("apre", bad); }),
            bad + ": Invalid syntax: \"qmin\"");
  tmtest::WriteFile(bad, "=5\n");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("apre", bad); }), bad + ": Invalid syntax: \"=5\"");
  tmtest::WriteFile(bad, "qmin=\n");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("apre", bad); }),
            bad + ": Invalid syntax: \"qmin=\"");
  tmtest::WriteFile(bad, "qmax=lots\n");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("spre", bad); }),
            bad + ": Invalid option or argument: \"qmax=lots\", parsed as \"qmax\" = \"lots\"");
  tmtest::WriteFile(bad, "no_such_thing=1\n");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("spre", bad); }),
            bad + ": Invalid option or argument: \"no_such_thing=1\", parsed as "
                  "\"no_such_thing\" = \"1\"");
  // A folder or a device is not a preset file.
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("fpre", dir.Path()); }),
            "Preset \"" + dir.Path() + "\" not found");
  EXPECT_EQ(ErrorOf([&] { engine.ApplyPreset("fpre", "/dev/zero"); }),
            "Preset \"/dev/zero\" not found");
}

TEST_F(Presets, RecordPresetFieldsApplyAfterTheCodecs) {
  TOutputOptions rec;
  rec.VideoCodec = "libx264";
  rec.VideoPreset = "default";  // found as libx264-default
  engine.ApplyOutputRecord(rec);
  EXPECT_EQ(engine.FFOptions().avcodec_opts(mkVideo)->max_b_frames, 3);
  rec.VideoPreset = "missing";
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputRecord(rec); }), "Preset \"missing\" not found");
}
