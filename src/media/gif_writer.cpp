#include "media/gif_writer.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include "media/ffmpeg_loader.h"
#include "media/ffutils.h"

namespace {

struct TCodecFree {
  void operator()(AVCodecContext* c) const {
    std::lock_guard lock(CodecLock());
    avcodec_free_context(&c);
  }
};
struct TFrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TOutputFree {
  void operator()(AVFormatContext* f) const {
    if (f->pb)
      avio_closep(&f->pb);
    avformat_free_context(f);
  }
};

}  // namespace

bool WriteGifPal8(int AWidth, int AHeight, const uint8_t* APixels, int AStride,
                  const uint32_t APalette[256], const std::string& APath, std::string& AError) {
  auto fail = [&](const std::string& what, int code) {
    AError = code ? ErrorText(what, code) : what;
    return false;
  };
  if (AWidth <= 0 || AHeight <= 0 || !APixels)
    return fail("no picture", 0);
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
  if (!codec)
    return fail("GIF encoder not found", 0);

  std::unique_ptr<AVCodecContext, TCodecFree> enc(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, TFrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, TPacketFree> packet(av_packet_alloc());
  if (!enc || !frame || !packet)
    return fail("out of memory", AVERROR(ENOMEM));
  enc->width = AWidth;
  enc->height = AHeight;
  enc->pix_fmt = AV_PIX_FMT_PAL8;
  enc->time_base = AVRational{1, 25};
  {
    std::lock_guard lock(CodecLock());
    if (int r = avcodec_open2(enc.get(), codec, nullptr); r < 0)
      return fail("cannot open the GIF encoder", r);
  }

  frame->format = AV_PIX_FMT_PAL8;
  frame->width = AWidth;
  frame->height = AHeight;
  if (int r = av_frame_get_buffer(frame.get(), 0); r < 0)
    return fail("out of memory", r);
  for (int y = 0; y < AHeight; ++y)
    std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                APixels + static_cast<ptrdiff_t>(y) * AStride, static_cast<size_t>(AWidth));
  std::memcpy(frame->data[1], APalette, 256 * sizeof(uint32_t));
  frame->pts = 0;

  AVFormatContext* raw = nullptr;
  if (int r = avformat_alloc_output_context2(&raw, nullptr, "gif", APath.c_str()); r < 0 || !raw)
    return fail(APath, r);
  std::unique_ptr<AVFormatContext, TOutputFree> out(raw);
  AVStream* stream = avformat_new_stream(out.get(), nullptr);
  if (!stream)
    return fail("out of memory", AVERROR(ENOMEM));
  avcodec_parameters_from_context(stream->codecpar, enc.get());
  stream->time_base = enc->time_base;
  if (int r = avio_open(&out->pb, APath.c_str(), AVIO_FLAG_WRITE); r < 0)
    return fail(APath, r);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "loop", "-1", 0);  // a still picture: no looping
  int r = avformat_write_header(out.get(), &options);
  av_dict_free(&options);
  if (r < 0)
    return fail(APath, r);

  auto drain = [&]() -> int {
    for (;;) {
      int got = avcodec_receive_packet(enc.get(), packet.get());
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
        return 0;
      if (got < 0)
        return got;
      av_packet_rescale_ts(packet.get(), enc->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (int w = av_interleaved_write_frame(out.get(), packet.get()); w < 0)
        return w;
    }
  };
  if ((r = avcodec_send_frame(enc.get(), frame.get())) < 0 || (r = drain()) < 0 ||
      (r = avcodec_send_frame(enc.get(), nullptr)) < 0 || (r = drain()) < 0)
    return fail(APath, r);
  if ((r = av_write_trailer(out.get())) < 0)
    return fail(APath, r);
  return true;
}
