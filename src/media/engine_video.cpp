// Video output (sync by dropping or duplicating, cropping, scaling, encoding), the encoder
// drain shared with audio, and subtitle output.
#include <cmath>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/logger.h"

namespace {

constexpr AVRational kMicros{1, AV_TIME_BASE};

// Quality, picture type and squared errors an encoder attached to its packet.
void ReadQualityStats(TAVOutputStream& AOst, const AVPacket* APacket) {
  size_t size = 0;
  const uint8_t* data = av_packet_get_side_data(APacket, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!data || size < 4)
    return;
  int32_t quality;
  std::memcpy(&quality, data, 4);
  AOst.quality = quality;
  if (size >= 5)
    AOst.pict_type = av_get_picture_type_char(static_cast<AVPictureType>(data[4]));
  const int count = size >= 6 ? data[5] : 0;
  AOst.frame_error.fill(0);
  for (int i = 0; i < count && i < 4 && 8 + (i + 1) * 8 <= static_cast<int>(size); ++i) {
    int64_t e;
    std::memcpy(&e, data + 8 + i * 8, 8);
    AOst.frame_error[i] = static_cast<uint64_t>(e);
    AOst.error[i] += static_cast<uint64_t>(e);
  }
}

}  // namespace

void TEngineMedia::EncodeAndWrite(TAVOutputStream& AOst, AVFrame* AFrame, AVFrame* APicture) {
  AVCodecContext* enc = AOst.enc;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  const char* failure = video ? "Video encoding failed" : "Audio encoding failed";
  int ret = avcodec_send_frame(enc, AFrame);
  if (ret < 0 && ret != AVERROR_EOF)
    throw std::runtime_error(failure);
  for (;;) {
    ret = avcodec_receive_packet(enc, enc_packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
      break;
    if (ret < 0)
      throw std::runtime_error(failure);
    const int size = enc_packet->size;
    if (video) {
      ReadQualityStats(AOst, enc_packet);
      if (APicture && size > 0)
        PostHooks(enc, APicture, av_rescale_q(enc_packet->pts, enc->time_base, kMicros));
      video_size += size;
    } else {
      audio_size += size;
    }
    AOst.last_size = size;
    ++AOst.packets;
    if (AOst.desc->logfile && enc->stats_out)
      std::fputs(enc->stats_out, AOst.desc->logfile);
    av_packet_rescale_ts(enc_packet, enc->time_base, AOst.st->time_base);
    WritePacket(AOst, enc_packet);
    av_packet_unref(enc_packet);
    if (video && !o().vstats_filename.empty())
      DoVideoStats(AOst, size);
  }
}

void TEngineMedia::DoVideoOut(TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* AFrame,
                              int64_t APictureTime) {
  TEngineOptions& opt = o();
  AVCodecContext* enc = AOst.enc;
  const AVFormatContext* oc = output_files[AOst.file_index]->ctx;

  // 1. Sync: drop, duplicate or follow the input time.
  const double sync_ipts = static_cast<double>(APictureTime - opt.start_time) / AV_TIME_BASE /
                           av_q2d(enc->time_base);
  int64_t nb_frames = 1;
  if (opt.video_sync_method) {
    const double vdelta = sync_ipts - static_cast<double>(AOst.sync_opts);
    if (vdelta < -1.1) {
      nb_frames = 0;
    } else if (opt.video_sync_method == 2 ||
               (opt.video_sync_method < 0 && (oc->oformat->flags & AVFMT_VARIABLE_FPS))) {
      if (vdelta <= -0.6)
        nb_frames = 0;
      else if (vdelta > 0.6)
        AOst.sync_opts = std::llround(sync_ipts);
    } else if (vdelta > 1.1) {
      nb_frames = std::llround(vdelta);
    }
    if (nb_frames == 0) {
      ++nb_frames_drop;
      show_dup_or_drop = true;
      if (engine.Verbose() > 2)
        LoggerInstance().Log(&engine, llVerbose, "*** drop!");
    } else if (nb_frames > 1) {
      nb_frames_dup += static_cast<int>(nb_frames - 1);
      show_dup_or_drop = true;
      if (engine.Verbose() > 2)
        LoggerInstance().LogFmt(&engine, llVerbose, "*** %d dup!", static_cast<int>(nb_frames - 1));
    }
  } else {
    AOst.sync_opts = std::llround(sync_ipts);
  }

  // 2. The frame limit.
  nb_frames = std::min<int64_t>(nb_frames, static_cast<int64_t>(opt.max_frames[0]) - AOst.frame_number);
  if (nb_frames <= 0)
    return;

  // 3. Cropping and scaling (the filter graph did both when there is one).
  AVFrame* picture = AFrame;
  AVFrame* cropped = nullptr;
  if (!AOst.filter.Active()) {
    const auto fmt = static_cast<AVPixelFormat>(AFrame->format);
    if (AFrame->width != AOst.original_width || AFrame->height != AOst.original_height ||
        fmt != AOst.resample_pix_fmt) {
      LoggerInstance().LogFmt(&engine, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s",
                              AIst.file_index, AIst.index, AFrame->width, AFrame->height,
                              av_get_pix_fmt_name(fmt) ? av_get_pix_fmt_name(fmt) : "none");
      if (AOst.original_width > 0 && AOst.original_height > 0) {
        auto even = [](int v) { return v & ~1; };
        AOst.topBand = even(AOst.original_topBand * AFrame->height / AOst.original_height);
        AOst.bottomBand = even(AOst.original_bottomBand * AFrame->height / AOst.original_height);
        AOst.leftBand = even(AOst.original_leftBand * AFrame->width / AOst.original_width);
        AOst.rightBand = even(AOst.original_rightBand * AFrame->width / AOst.original_width);
      }
      AOst.original_width = AFrame->width;
      AOst.original_height = AFrame->height;
      AOst.resample_pix_fmt = fmt;
      AOst.resample_width = AFrame->width - AOst.leftBand - AOst.rightBand;
      AOst.resample_height = AFrame->height - AOst.topBand - AOst.bottomBand;
      AOst.video_crop = AOst.topBand || AOst.bottomBand || AOst.leftBand || AOst.rightBand;
      AOst.video_resample = true;
      sws_freeContext(AOst.img_resample_ctx);
      AOst.img_resample_ctx = sws_getContext(
          AOst.resample_width, AOst.resample_height, fmt, enc->width, enc->height, enc->pix_fmt,
          engine.FFOptions().SwsFlags(), nullptr, nullptr, nullptr);
      if (!AOst.img_resample_ctx)
        throw std::runtime_error("Cannot get resampling context");
    }
    if (AOst.video_crop) {
      cropped = av_frame_clone(AFrame);
      bool ok = cropped != nullptr;
      if (ok) {
        cropped->crop_top = AOst.topBand;
        cropped->crop_bottom = AOst.bottomBand;
        cropped->crop_left = AOst.leftBand;
        cropped->crop_right = AOst.rightBand;
        ok = av_frame_apply_cropping(cropped, AV_FRAME_CROP_UNALIGNED) >= 0;
      }
      if (!ok) {
        av_frame_free(&cropped);
        if (opt.exit_on_error)
          throw std::runtime_error("error cropping picture");
        LoggerInstance().Log(&engine, llError, "error cropping picture");
        return;
      }
      picture = cropped;
    }
    if (AOst.video_resample) {
      // The encoder may still hold the last picture: scale into a buffer of our own.
      if (!AOst.pict_tmp || !av_frame_is_writable(AOst.pict_tmp) ||
          AOst.pict_tmp->width != enc->width || AOst.pict_tmp->height != enc->height) {
        av_frame_free(&AOst.pict_tmp);
        AOst.pict_tmp = AllocPicture(enc->pix_fmt, enc->width, enc->height);
        if (!AOst.pict_tmp) {
          av_frame_free(&cropped);
          throw std::runtime_error("Cannot allocate temp picture, check pix fmt");
        }
      }
      sws_scale(AOst.img_resample_ctx, picture->data, picture->linesize, 0,
                AOst.resample_height, AOst.pict_tmp->data, AOst.pict_tmp->linesize);
      av_frame_copy_props(AOst.pict_tmp, AFrame);
      picture = AOst.pict_tmp;
    }
  }

  // 4. Encode each frame to output.
  for (int64_t i = 0; i < nb_frames && !engine.broken_; ++i) {
    picture->pts = AOst.sync_opts;
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    picture->quality = opt.same_quality ? AIst.quality : enc->global_quality;
    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) {
      picture->interlaced_frame = 1;
      picture->top_field_first =
          opt.top_field_first == -1 ? AFrame->top_field_first : opt.top_field_first;
    }
    EncodeAndWrite(AOst, picture, picture);
    ++AOst.sync_opts;
    ++AOst.frame_number;
  }
  av_frame_free(&cropped);
}

void TEngineMedia::DoSubtitleOut(TAVOutputStream& AOst, TAVInputStream&, AVSubtitle* ASub,
                                 int64_t APts) {
  TEngineOptions& opt = o();
  if (APts == AV_NOPTS_VALUE) {
    if (opt.exit_on_error)
      throw std::runtime_error("Subtitle packets must have a pts");
    LoggerInstance().Log(&engine, llError, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext* enc = AOst.enc;
  subtitle_buf.resize(1 << 20);
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const int passes = dvb ? 2 : 1;
  const int64_t pts = APts - opt.start_time;
  for (int i = 0; i < passes; ++i) {
    ASub->pts = pts + static_cast<int64_t>(ASub->start_display_time) * 1000;
    const unsigned rects = ASub->num_rects;
    if (dvb && i == 1)
      ASub->num_rects = 0;  // the clearing packet
    const int size = avcodec_encode_subtitle(enc, subtitle_buf.data(),
                                             static_cast<int>(subtitle_buf.size()), ASub);
    ASub->num_rects = rects;
    if (size < 0)
      throw std::runtime_error("Subtitle encoding failed");
    AVPacket* pkt = av_packet_alloc();
    if (!pkt || av_new_packet(pkt, size) < 0) {
      av_packet_free(&pkt);
      throw std::runtime_error("Out of memory");
    }
    std::memcpy(pkt->data, subtitle_buf.data(), static_cast<size_t>(size));
    pkt->pts = av_rescale_q(ASub->pts, kMicros, AOst.st->time_base);
    if (dvb)
      pkt->pts += av_rescale_q(i == 0 ? ASub->start_display_time : ASub->end_display_time,
                               AVRational{1, 1000}, AOst.st->time_base);
    pkt->dts = pkt->pts;
    try {
      WritePacket(AOst, pkt);
    } catch (...) {
      av_packet_free(&pkt);
      throw;
    }
    av_packet_free(&pkt);
    ++AOst.frame_number;
  }
}
