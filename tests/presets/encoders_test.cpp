#include "media/encoder_names.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "presets/catalogue.h"
#include "presets/parameter_set.h"

namespace {

// Every encoder a parameter set names resolves in the installed libavcodec, to an encoder of
// the right kind, and every output extension finds a muxer that takes the set's codecs.
TEST(Encoders, EveryParameterSetEncodesAndMuxes) {
  for (int c = 0; c < kCategoryCount; ++c)
    for (int f = 0; f < static_cast<int>(FormatsOf(c).size()); ++f) {
      const TFormat& format = *FindFormat(c, f);
      SCOPED_TRACE(std::to_string(FormatCode(c, f)) + " " + format.DisplayText);
      TParameterSet p;
      ASSERT_TRUE(LoadParameterSet(p, c, f));

      std::string file = "output" + FormatExtension(c, f);
      const AVOutputFormat* muxer = av_guess_format(nullptr, file.c_str(), nullptr);
      ASSERT_NE(muxer, nullptr) << "no muxer for " << file;

      struct Named {
        const std::string& Name;
        AVMediaType Type;
      };
      for (const Named& n : {Named{p.Video_VideoCodec, AVMEDIA_TYPE_VIDEO},
                             Named{p.Video_AudioCodec, AVMEDIA_TYPE_AUDIO}}) {
        if (n.Name.empty()) continue;
        TEncoderResolution resolved = ResolveEncoderName(n.Name);
        ASSERT_FALSE(resolved.Name.empty()) << "encoder " << n.Name << " does not resolve";
        const AVCodec* codec = avcodec_find_encoder_by_name(resolved.Name.c_str());
        ASSERT_NE(codec, nullptr) << resolved.Name;
        EXPECT_EQ(codec->type, n.Type) << resolved.Name;
        // 1: taken, 0: refused, negative: the muxer cannot tell.
        EXPECT_NE(avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL), 0)
            << muxer->name << " does not take " << resolved.Name;
      }
    }
}

TEST(Encoders, Resolution) {
  // A name the library has stays as it is.
  TEncoderResolution mp3 = ResolveEncoderName("libmp3lame");
  EXPECT_EQ(mp3.Name, "libmp3lame");
  EXPECT_FALSE(mp3.Mapped);
  // Empty: the engine chooses.
  EXPECT_EQ(ResolveEncoderName("").Name, "");
  // Unknown names resolve to nothing.
  EXPECT_EQ(ResolveEncoderName("no-such-encoder").Name, "");
  // A mapped name resolves to its replacement exactly when the library lacks the original.
  for (const TEncoderMapping& m : EncoderMappings()) {
    TEncoderResolution r = ResolveEncoderName(m.Name);
    if (avcodec_find_encoder_by_name(m.Name)) {
      EXPECT_EQ(r.Name, m.Name);
      EXPECT_FALSE(r.Mapped);
    } else {
      EXPECT_EQ(r.Name, m.Replacement);
      EXPECT_TRUE(r.Mapped);
    }
  }
  EXPECT_FALSE(ResolveEncoderName("libfaac").Name.empty());
}

}  // namespace
