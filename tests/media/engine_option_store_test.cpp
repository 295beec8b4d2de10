// The generic option store: where SetDefaultOption finds an option (codec contexts by media
// kind, the chosen encoder's and muxer's private options, the container, the scaler, the kind
// prefix), refusals, the list of set names, the debug rule, and copying onto real contexts.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include "engine_option_support.h"

using namespace opttest;

namespace {

int64_t IntOf(void* AObject, const char* AName) {
  int64_t v = 0;
  EXPECT_GE(av_opt_get_int(AObject, AName, 0, &v), 0) << AName;
  return v;
}

std::string DictValue(const AVDictionary* ADict, const char* AKey) {
  const AVDictionaryEntry* e = av_dict_get(ADict, AKey, nullptr, 0);
  return e ? e->value : "(none)";
}

}  // namespace

class OptionStore : public EngineTest {
protected:
  AVCodecContext* Codec(TMediaKind AKind) { return engine.FFOptions().avcodec_opts(AKind); }
};

TEST_F(OptionStore, GenericCodecOptionsReachTheKindsTheyBelongTo) {
  ASSERT_TRUE(engine.SetDefaultOption("g", "48"));  // a video option
  EXPECT_EQ(Codec(mkVideo)->gop_size, 48);
  EXPECT_NE(Codec(mkAudio)->gop_size, 48);
  EXPECT_NE(Codec(mkSubtitle)->gop_size, 48);
  EXPECT_EQ(Codec(mkData)->gop_size, 48);  // data and attachment take every option
  EXPECT_EQ(Codec(mkAttachment)->gop_size, 48);

  ASSERT_TRUE(engine.SetDefaultOption("cutoff", "15000"));  // an audio option
  EXPECT_EQ(Codec(mkAudio)->cutoff, 15000);
  EXPECT_NE(Codec(mkVideo)->cutoff, 15000);

  ASSERT_TRUE(engine.SetDefaultOption("  b ", " 512000 "));  // trimmed; video and audio
  EXPECT_EQ(Codec(mkVideo)->bit_rate, 512000);
  EXPECT_EQ(Codec(mkAudio)->bit_rate, 512000);
  EXPECT_EQ(engine.FFOptions().opt_names(), (std::vector<std::string>{"g", "cutoff", "b"}));
}

TEST_F(OptionStore, KindPrefixesReachOneContext) {
  ASSERT_TRUE(engine.SetDefaultOption("vb", "700000"));
  EXPECT_EQ(Codec(mkVideo)->bit_rate, 700000);
  EXPECT_NE(Codec(mkAudio)->bit_rate, 700000);
  ASSERT_TRUE(engine.SetDefaultOption("abt", "3000"));
  EXPECT_EQ(Codec(mkAudio)->bit_rate_tolerance, 3000);
  EXPECT_NE(Codec(mkVideo)->bit_rate_tolerance, 3000);
  ASSERT_TRUE(engine.SetDefaultOption("sflags", "+bitexact"));
  EXPECT_TRUE(Codec(mkSubtitle)->flags & AV_CODEC_FLAG_BITEXACT);
  EXPECT_FALSE(Codec(mkVideo)->flags & AV_CODEC_FLAG_BITEXACT);
  // The list holds the options' own names.
  EXPECT_EQ(engine.FFOptions().opt_names(), (std::vector<std::string>{"b", "bt", "flags"}));
}

TEST_F(OptionStore, ContainerAndScalerOptions) {
  ASSERT_TRUE(engine.SetDefaultOption("packetsize", "2324"));
  EXPECT_EQ(engine.FFOptions().avformat_opts()->packet_size, 2324u);
  ASSERT_TRUE(engine.SetDefaultOption("sws_flags", "bilinear"));
  EXPECT_EQ(engine.FFOptions().SwsFlags(), 2);
  EXPECT_EQ(TFFmpeg(1).FFOptions().SwsFlags(), 4);  // bicubic after a reset
}

TEST_F(OptionStore, PrivateOptionsOfTheChosenEncoderAndMuxer) {
  EXPECT_FALSE(engine.SetDefaultOption("crf", "20"));  // no encoder chosen yet
  engine.ParseOption("vcodec", "libx264");
  ASSERT_TRUE(engine.SetDefaultOption("crf", "20"));
  ASSERT_TRUE(engine.SetDefaultOption("preset", "veryfast"));
  EXPECT_EQ(DictValue(engine.FFOptions().private_opts(mkVideo), "crf"), "20");
  EXPECT_EQ(DictValue(engine.FFOptions().private_opts(mkVideo), "preset"), "veryfast");
  EXPECT_FALSE(engine.SetDefaultOption("crf", "hot"));  // refused by the encoder
  EXPECT_TRUE(Logged(llError, "Invalid value \"hot\" for option \"crf\""));

  // "libfaac" is the native AAC encoder here.
  engine.ParseOption("acodec", "libfaac");
  ASSERT_TRUE(engine.SetDefaultOption("aac_coder", "fast"));
  EXPECT_EQ(DictValue(engine.FFOptions().private_opts(mkAudio), "aac_coder"), "fast");

  EXPECT_FALSE(engine.SetDefaultOption("muxrate", "1411200"));  // no muxer chosen
  engine.ParseOption("f", "vcd");
  ASSERT_TRUE(engine.SetDefaultOption("muxrate", "1411200"));
  EXPECT_EQ(DictValue(engine.FFOptions().format_private_opts(), "muxrate"), "1411200");
}

TEST_F(OptionStore, RefusalsAndUnknownNames) {
  EXPECT_FALSE(engine.SetDefaultOption("qmax", "many"));
  EXPECT_TRUE(Logged(llError, "Invalid value \"many\" for option \"qmax\""));
  EXPECT_FALSE(engine.SetDefaultOption("no_such_option", "1"));
  EXPECT_FALSE(engine.SetDefaultOption("", "1"));
  EXPECT_FALSE(engine.SetDefaultOption("qmax", "   "));
  EXPECT_EQ(engine.FFOptions().opt_name_count(), 0);
}

TEST_F(OptionStore, DebugSettingsRaiseTheLogLevel) {
  LoggerInstance().SetLogLevel(llInfo);
  ASSERT_TRUE(engine.SetDefaultOption("qmin", "3"));
  EXPECT_EQ(LoggerInstance().LogLevel(), llInfo);
  ASSERT_TRUE(engine.SetDefaultOption("debug", "pict"));
  EXPECT_EQ(LoggerInstance().LogLevel(), llDebug);
  LoggerInstance().SetLogLevel(llInfo);
  TFFmpeg other(1);
  ASSERT_TRUE(other.SetDefaultOption("fdebug", "ts"));  // the container's debug flag
  EXPECT_EQ(LoggerInstance().LogLevel(), llDebug);
}

TEST_F(OptionStore, ResetEmptiesTheStore) {
  ASSERT_TRUE(engine.SetDefaultOption("qmin", "3"));
  engine.InitEngine();
  EXPECT_EQ(engine.FFOptions().opt_name_count(), 0);
  EXPECT_NE(IntOf(engine.FFOptions().avcodec_opts(mkVideo), "qmin"), 3);
}

TEST_F(OptionStore, CopiesRecordedOptionsOntoRealContexts) {
  engine.ParseOption("vcodec", "libx264");
  ASSERT_TRUE(engine.SetDefaultOption("g", "33"));
  ASSERT_TRUE(engine.SetDefaultOption("flags", "+loop+cgop"));
  ASSERT_TRUE(engine.SetDefaultOption("ab", "64000"));
  ASSERT_TRUE(engine.SetDefaultOption("crf", "21"));
  ASSERT_TRUE(engine.SetDefaultOption("flags2", "+local_header"));

  const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
  ASSERT_NE(x264, nullptr);
  AVCodecContext* video = avcodec_alloc_context3(x264);
  AVDictionary* priv = nullptr;
  engine.FFOptions().CopyCodecOptions(video, mkVideo, true, &priv);
  EXPECT_EQ(video->gop_size, 33);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_LOOP_FILTER);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_CLOSED_GOP);
  EXPECT_TRUE(video->flags2 & AV_CODEC_FLAG2_LOCAL_HEADER);
  EXPECT_EQ(DictValue(priv, "crf"), "21");
  av_dict_free(&priv);
  avcodec_free_context(&video);

  // An audio context takes the audio bitrate, and no video-only option.
  AVCodecContext* audio = avcodec_alloc_context3(avcodec_find_encoder_by_name("aac"));
  engine.FFOptions().CopyCodecOptions(audio, mkAudio, true, &priv);
  EXPECT_EQ(audio->bit_rate, 64000);
  EXPECT_NE(audio->gop_size, 33);
  EXPECT_EQ(priv, nullptr);
  avcodec_free_context(&audio);

  // Decoders get only options with the decoding flag.
  AVCodecContext* decoder = avcodec_alloc_context3(nullptr);
  engine.FFOptions().CopyCodecOptions(decoder, mkVideo, false, nullptr);
  EXPECT_NE(decoder->gop_size, 33);
  EXPECT_TRUE(decoder->flags & AV_CODEC_FLAG_LOOP_FILTER);  // flags serve both
  avcodec_free_context(&decoder);
}

TEST_F(OptionStore, CopiesContainerOptions) {
  engine.ParseOption("f", "dvd");
  ASSERT_TRUE(engine.SetDefaultOption("packetsize", "2048"));
  ASSERT_TRUE(engine.SetDefaultOption("muxrate", "10080000"));
  AVFormatContext* out = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&out, nullptr, "dvd", nullptr), 0);
  AVDictionary* priv = nullptr;
  engine.FFOptions().CopyFormatOptions(out, true, &priv);
  EXPECT_EQ(out->packet_size, 2048u);
  EXPECT_EQ(DictValue(priv, "muxrate"), "10080000");
  av_dict_free(&priv);
  avformat_free_context(out);
}
