// TMediaProbe: seeking, decoding single video pictures and copying them into a bitmap.
#include <cinttypes>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <strings.h>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

#include "media/media_probe.h"
#include "media/media_probe_text.h"

using probe_text::Format;

TMediaProbe::TMediaProbe() : frame_(av_frame_alloc()), packet_(av_packet_alloc()) {
  if (!frame_ || !packet_) {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    throw std::bad_alloc();
  }
}

TMediaProbe::~TMediaProbe() {
  TMediaProbe::CloseFile();
  av_freep(&frame_info_.Buffer);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

void TMediaProbe::ResetFrameInfo() {
  if (frame_info_.PTS != NoTimeStamp)
    last_pts_ = frame_info_.PTS;
  if (frame_info_.Position >= 0)
    last_pos_ = frame_info_.Position;
  frame_info_.PixFmt = frame_info_.Width = frame_info_.Height = frame_info_.StreamIndex = -1;
  frame_info_.Position = -1;
  frame_info_.IsKeyFrame = frame_info_.Ready = false;
  frame_info_.PictureType = ptUnknown;
  frame_info_.PTS = frame_info_.OriginalDTS = frame_info_.OriginalPTS = NoTimeStamp;
  frame_info_.Picture = TPicture{};
}

void TMediaProbe::CloseDecoder() {
  if (codec_) {
    std::lock_guard lock(CodecLock());
    avcodec_free_context(&codec_);
  }
  codec_stream_ = -1;
  draining_ = false;
}

void TMediaProbe::CloseFile() {
  ResetFrameInfo();
  last_pts_ = NoTimeStamp;
  last_pos_ = -1;
  CloseDecoder();
  rgb_context_.Reset();
  decode_index_ = -1;
  eof_ = false;
  TCustomMediaProbe::CloseFile();
}

void TMediaProbe::RefreshFields() {
  TCustomMediaProbe::RefreshFields();
  seek_index_ = first_video_index_ >= 0 ? first_video_index_ : first_audio_index_;
  start_time_ = 0;
  if (!file_handle_)
    return;
  if (seek_index_ >= 0) {
    int64_t st = file_handle_->streams[seek_index_]->start_time;
    start_time_ = st == AV_NOPTS_VALUE ? 0 : st;
  } else if (file_handle_->start_time != AV_NOPTS_VALUE) {
    start_time_ = file_handle_->start_time;
  }
}

int64_t TMediaProbe::ReaderPosition() const {
  return file_handle_ && file_handle_->pb ? avio_tell(file_handle_->pb) : -1;
}

int64_t TMediaProbe::Position() {
  if (!RequireFile())
    return -1;
  if (!file_handle_->pb) {
    Report(AV_LOG_WARNING, "cannot get position");
    return -1;
  }
  return avio_tell(file_handle_->pb);
}

int64_t TMediaProbe::FrameDuration(int AStreamIndex) const {
  AVRational rate = file_handle_->streams[AStreamIndex]->r_frame_rate;
  if (rate.num == 0 || rate.den == 0)
    return 40000;
  return 1000000LL * rate.den / rate.num;
}

namespace {
bool IsImage2(const AVFormatContext* ctx) {
  return ctx->iformat && strcasecmp(ctx->iformat->name, "image2") == 0;
}
}  // namespace

bool TMediaProbe::Seek(int64_t APTS, TSeekFlags ASeekFlags) {
  if (!RequireFile())
    return false;
  if (!own_handle_) {
    Report(AV_LOG_WARNING, "file cannot be seeked, handle is readonly.");
    throw std::runtime_error(last_err_msg_);
  }
  if (IsImage2(file_handle_)) {
    Report(AV_LOG_INFO, "\"image2\" format cannot to be seeked.");
    return false;
  }
  if (APTS < 0)
    APTS = 0;
  int64_t target = APTS;
  if (!(ASeekFlags & sfByte)) {
    if (seek_index_ >= 0)
      target = av_rescale_q(APTS, AV_TIME_BASE_Q, file_handle_->streams[seek_index_]->time_base);
    if (start_time_ > 0)
      target += start_time_;
  }
  if (codec_) {
    avcodec_flush_buffers(codec_);
    draining_ = false;
  }
  eof_ = false;
  ResetFrameInfo();

  LoggerInstance().LogFmt(this, llDebug, "currunt position %" PRId64 " bytes", ReaderPosition());
  int flags = static_cast<int>(ASeekFlags);
  int r;
  if (APTS > 0) {
    r = av_seek_frame(file_handle_, seek_index_, target, flags);
  } else {
    r = av_seek_frame(file_handle_, seek_index_, target, flags | AVSEEK_FLAG_BACKWARD);
    if (r < 0)
      r = av_seek_frame(file_handle_, seek_index_, target, flags & ~AVSEEK_FLAG_BACKWARD);
  }
  if (r < 0) {
    if (ASeekFlags & sfByte)
      Report(AV_LOG_ERROR, Format("could not seek to position %" PRId64 " bytes", APTS));
    else
      Report(AV_LOG_ERROR, Format("could not seek to position %0.3f seconds", APTS / 1000000.0));
    return false;
  }
  LoggerInstance().LogFmt(this, llDebug, "seek to position %" PRId64 " bytes", ReaderPosition());
  if (file_handle_->pb && avio_feof(file_handle_->pb)) {
    Report(AV_LOG_INFO, "stream eof reached.");
    eof_ = true;
    return false;
  }
  return true;
}

int TMediaProbe::ChooseDecodeStream(int AStreamIndex) {
  int i;
  if (AStreamIndex == -1) {
    i = decode_index_ >= 0 ? decode_index_ : first_video_index_;
    if (i < 0) {
      Report(AV_LOG_ERROR, "no video stream.");
      return -1;
    }
  } else {
    i = CheckStream(AStreamIndex, AVMEDIA_TYPE_VIDEO);
    if (i < 0)
      return -1;
  }
  if (i != decode_index_) {
    ResetFrameInfo();
    decode_index_ = i;
  }
  return i;
}

bool TMediaProbe::OpenDecoder(int AStreamIndex) {
  if (codec_ && codec_stream_ == AStreamIndex)
    return true;
  const AVStream* st = file_handle_->streams[AStreamIndex];
  const AVCodecParameters* par = st->codecpar;
  if (par->width == 0 || par->height == 0) {
    Report(AV_LOG_ERROR, "frame size of codec is invalid.");
    return false;
  }
  CloseDecoder();
  const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
  if (!decoder) {
    Report(AV_LOG_ERROR, Format("Unsupported codec (id=%d) for input file stream #%d",
                                static_cast<int>(par->codec_id), AStreamIndex));
    return false;
  }
  AVCodecContext* ctx = avcodec_alloc_context3(decoder);
  int r = ctx ? avcodec_parameters_to_context(ctx, par) : AVERROR(ENOMEM);
  if (r >= 0) {
    ctx->pkt_timebase = st->time_base;
    // Decode on the calling thread: library threads that log would wait for the main thread,
    // which may be the thread waiting for them here.
    ctx->thread_count = 1;
    std::lock_guard lock(CodecLock());
    r = avcodec_open2(ctx, decoder, nullptr);
  }
  if (r < 0) {
    avcodec_free_context(&ctx);
    Report(AV_LOG_ERROR, Format("Error while opening codec for input file stream #%d", AStreamIndex));
    return false;
  }
  codec_ = ctx;
  codec_stream_ = AStreamIndex;
  draining_ = false;
  return true;
}

bool TMediaProbe::FillFrameInfo(const AVFrame* AFrame, int64_t APosition) {
  const auto fmt = static_cast<AVPixelFormat>(AFrame->format);
  int size = av_image_get_buffer_size(fmt, AFrame->width, AFrame->height, 1);
  if (size < 0)
    return false;
  size += AV_INPUT_BUFFER_PADDING_SIZE;  // the scaler reads whole blocks past the last row
  if (size > frame_info_.Size) {
    av_freep(&frame_info_.Buffer);
    frame_info_.Size = 0;
    frame_info_.Buffer = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size)));
    if (!frame_info_.Buffer)
      return false;
    frame_info_.Size = size;
  }
  // The picture this one replaces becomes the previous picture.
  if (frame_info_.Ready) {
    if (frame_info_.PTS != NoTimeStamp)
      last_pts_ = frame_info_.PTS;
    if (frame_info_.Position >= 0)
      last_pos_ = frame_info_.Position;
  }
  const AVStream* st = file_handle_->streams[decode_index_];
  frame_info_.PixFmt = AFrame->format;
  frame_info_.Width = AFrame->width;
  frame_info_.Height = AFrame->height;
  frame_info_.IsKeyFrame = AFrame->key_frame != 0;
  frame_info_.PictureType = AFrame->pict_type >= 0 && AFrame->pict_type <= 7
                                ? static_cast<TPictureType>(AFrame->pict_type)
                                : ptUnknown;
  // The decoding time of the packet that completed the picture (with the decoder's delay equal
  // to the reader's decoding-time shift, that is the picture's display time), else the
  // presentation time carried through the decoder's reordering.
  int64_t ts = AFrame->pkt_dts != AV_NOPTS_VALUE ? AFrame->pkt_dts : AFrame->pts;
  if (ts == AV_NOPTS_VALUE) {
    frame_info_.PTS = NoTimeStamp;
  } else {
    if (st->start_time != AV_NOPTS_VALUE)
      ts -= st->start_time;
    frame_info_.PTS = av_rescale_q(ts, st->time_base, AV_TIME_BASE_Q);
    av_log(nullptr, AV_LOG_DEBUG, "decode PTS: %0.3f\n", frame_info_.PTS / 1000000.0);
  }
  frame_info_.OriginalDTS = AFrame->pkt_dts;
  frame_info_.OriginalPTS = AFrame->pts;
  frame_info_.StreamIndex = decode_index_;
  frame_info_.Position = APosition;
  av_image_fill_arrays(frame_info_.Picture.data, frame_info_.Picture.linesize, frame_info_.Buffer,
                       fmt, AFrame->width, AFrame->height, 1);
  av_image_copy(frame_info_.Picture.data, frame_info_.Picture.linesize,
                const_cast<const uint8_t**>(AFrame->data), AFrame->linesize, fmt, AFrame->width,
                AFrame->height);
  frame_info_.Ready = true;
  return true;
}

bool TMediaProbe::Decode(int AStreamIndex) {
  if (!RequireFile())
    return false;
  int index = ChooseDecodeStream(AStreamIndex);
  if (index < 0)
    return false;
  if (frame_info_.Ready && IsImage2(file_handle_))
    return true;  // a still image has one picture
  if (eof_) {
    Report(AV_LOG_INFO, "stream eof reached.");
    return false;
  }
  if (!OpenDecoder(index))
    return false;

  const int64_t position = ReaderPosition();
  int stalled_reads = 0;
  for (;;) {
    int r = avcodec_receive_frame(codec_, frame_);
    if (r == 0) {
      LoggerInstance().LogFmt(this, llDebug,
                              "pkt.st_idx=%d, dts=%" PRId64 ", pts=%" PRId64 ", flags=%d, pict_type=%d",
                              index, frame_->pkt_dts, frame_->pts, frame_->key_frame,
                              static_cast<int>(frame_->pict_type));
      bool filled = FillFrameInfo(frame_, position);
      av_frame_unref(frame_);
      if (!filled) {
        Report(AV_LOG_ERROR, ErrorText(FileName(), AVERROR(ENOMEM)));
        return false;
      }
      return true;
    }
    // AVERROR_EOF: the decoder has handed out everything; other errors drop one picture.
    if (r == AVERROR_EOF || draining_)
      break;
    r = av_read_frame(file_handle_, packet_);
    if (r == AVERROR(EAGAIN)) {
      // Non-blocking reader without data yet; give up after about ten seconds.
      if (++stalled_reads > 10000)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    stalled_reads = 0;
    if (r < 0) {
      // End of input: let the decoder hand out the pictures it still holds.
      avcodec_send_packet(codec_, nullptr);
      draining_ = true;
      continue;
    }
    if (packet_->stream_index == index)
      avcodec_send_packet(codec_, packet_);  // a damaged packet is skipped
    av_packet_unref(packet_);
  }
  Report(AV_LOG_INFO, "stream eof reached.");
  eof_ = true;
  return false;
}

bool TMediaProbe::DecodeNextKeyFrame(int AStreamIndex) {
  if (!RequireFile())
    return false;
  int index = ChooseDecodeStream(AStreamIndex);
  if (index < 0)
    return false;
  int64_t from = frame_info_.PTS != NoTimeStamp && frame_info_.PTS > 0 ? frame_info_.PTS : 0;
  if (!Seek(from + FrameDuration(index)))
    return false;
  return Decode(index);
}

bool TMediaProbe::DecodePreviousFrame(int AStreamIndex) {
  if (!RequireFile())
    return false;
  int index = ChooseDecodeStream(AStreamIndex);
  if (index < 0)
    return false;
  int64_t current = frame_info_.PTS != NoTimeStamp ? frame_info_.PTS
                    : last_pts_ != NoTimeStamp     ? last_pts_
                                                   : 0;
  int64_t target = current - 2 * FrameDuration(index);
  if (!DecodePreviousKeyFrame(index))
    return false;
  while (frame_info_.PTS <= target)
    if (!Decode(index))
      return false;
  return true;
}

bool TMediaProbe::DecodePreviousKeyFrame(int AStreamIndex) {
  if (!RequireFile())
    return false;
  int index = ChooseDecodeStream(AStreamIndex);
  if (index < 0)
    return false;
  if (!DecodeKeyFrameBefore(index)) {
    last_err_msg_ = "Could not seek to the previous key-frame. " + last_err_msg_;
    return false;
  }
  return true;
}

bool TMediaProbe::DecodeKeyFrameBefore(int AStreamIndex) {
  const int64_t duration = FrameDuration(AStreamIndex);
  const int64_t reference = frame_info_.PTS != NoTimeStamp ? frame_info_.PTS
                            : last_pts_ != NoTimeStamp     ? last_pts_
                            : file_handle_->duration > 0   ? file_handle_->duration
                                                           : 0;
  const int64_t reference_pos = frame_info_.Position >= 0 ? frame_info_.Position : last_pos_;
  for (int64_t k = 1;; ++k) {
    // False once the target lies before the start: the seek then lands on the first picture.
    const bool inside = reference >= k * duration;
    const int64_t before = ReaderPosition();
    if (!Seek(reference - k * duration, sfBackward))
      return false;
    const int64_t after = ReaderPosition();
    // A reader that the seek moved to or past the current picture found no earlier key frame.
    // Readers that only move on the next read (after == before) are judged by decoding.
    if (after != before && reference_pos > 0 && after >= reference_pos && inside)
      continue;
    if (Decode(AStreamIndex)) {
      if (frame_info_.PTS < reference || frame_info_.PTS <= 0)
        return true;
    }
    if (!inside)
      return false;
  }
}

bool TMediaProbe::CopyToBitmap(TBitmap24& ABitmap) {
  if (!frame_info_.Ready) {
    Report(AV_LOG_ERROR, "picture not ready, please decode first");
    return false;
  }
  const int w = frame_info_.Width, h = frame_info_.Height;
  bool ok = rgb_context_.PictureToBitmap(frame_info_.Picture,
                                         static_cast<AVPixelFormat>(frame_info_.PixFmt), w, h);
  std::lock_guard canvas(ABitmap.Canvas());
  ABitmap.SetSize(w, h);
  if (!ok) {
    av_log(nullptr, AV_LOG_ERROR, "convert picture to bitmap failed\n");
    return false;
  }
  const TBitmap24& rgb = *rgb_context_.Bitmap;
  std::memcpy(ABitmap.Pixels(), rgb.Pixels(), static_cast<size_t>(rgb.Stride()) * rgb.Height());
  return true;
}
