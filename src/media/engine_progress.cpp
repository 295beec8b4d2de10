// Progress reports (the report line, the progress event, the final report) and the video
// statistics file.
#include <cmath>
#include <stdexcept>

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/logger.h"

namespace {

double Psnr(double ANormalisedError) { return -10.0 * std::log10(ANormalisedError); }

}  // namespace

// Runs on the task's worker.
void TEngineMedia::PrintReport(bool AIsLastReport, int AFileIndex) {
  if (output_files.empty())
    return;
  const int verbose = engine.Verbose();
  // 1. The first output's size.
  int64_t total_size = 0;
  if (AVIOContext* pb = output_files[0]->ctx->pb) {
    total_size = avio_size(pb);
    if (total_size <= 0)
      total_size = avio_tell(pb);
    if (total_size < 0)
      total_size = 0;
  }

  // 2. The video streams and the time reached.
  std::string line;
  int frame_number = -1;
  int fps = -1;
  float q = -1.0f;
  bool vid = false;
  double ti1 = 1e10;
  for (auto& ost : ost_table) {
    AVCodecContext* enc = ost->encoding_needed ? ost->enc : nullptr;
    if (ost->desc->type == AVMEDIA_TYPE_VIDEO && ost->show_fps) {
      const float quality = enc ? ost->quality / static_cast<float>(FF_QP2LAMBDA) : -1.0f;
      if (vid) {
        line += FormatText("q=%2.1f ", quality);
      } else {
        if (ost->frame_number == 0 && !AIsLastReport)
          return;  // nothing encoded yet
        q = quality;
        frame_number = ost->frame_number;
        const double seconds = static_cast<double>(NowMicros() - timer_start) / 1e6;
        fps = seconds > 1.0 ? static_cast<int>(frame_number / seconds + 0.5) : 0;
        line += FormatText("frame=%5d fps=%3d q=%3.1f ", frame_number, fps, quality);
        if (AIsLastReport)
          line += "L";
        if (o().qp_hist && enc) {
          const long qp = std::lrint(quality);
          if (qp >= 0 && qp < static_cast<long>(qp_histogram.size()))
            ++qp_histogram[qp];
          for (int j = 0; j < 32; ++j)
            line += FormatText("%X", static_cast<int>(std::lrint(std::log2(qp_histogram[j] + 1))));
        }
        if (enc && (enc->flags & AV_CODEC_FLAG_PSNR)) {
          double error_sum = 0, scale_sum = 0;
          static constexpr char kPlanes[] = {'Y', 'U', 'V'};
          line += "PSNR=";
          for (int j = 0; j < 3; ++j) {
            double error = AIsLastReport ? static_cast<double>(ost->error[j])
                                         : static_cast<double>(ost->frame_error[j]);
            double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
            if (AIsLastReport)
              scale *= std::max(ost->packets, 1);
            if (j)
              scale /= 4;
            error_sum += error;
            scale_sum += scale;
            line += FormatText("%c:%2.2f ", kPlanes[j], Psnr(error / scale));
          }
          line += FormatText("*:%2.2f ", Psnr(error_sum / scale_sum));
        }
        vid = true;
      }
    }
    // The time of each container stream (in join mode shared by the segments' streams).
    const double t = ost->desc->out_time;
    if (t > 0 && t < ti1)
      ti1 = t;
  }
  // Nothing written yet counts as the start, not as 1e10 seconds.
  if (ti1 >= 1e10 || ti1 < 0.01)
    ti1 = 0.01;

  // 3. The rest of the line.
  const bool handler = static_cast<bool>(engine.OnProgress);
  const double bitrate = static_cast<double>(total_size) * 8 / ti1 / 1000.0;
  if (handler || verbose > 0 || AIsLastReport) {
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                       static_cast<double>(total_size) / 1024, ti1, bitrate);
    if (nb_frames_dup || nb_frames_drop)
      line += FormatText(" dup=%d drop=%d", nb_frames_dup, nb_frames_drop);
    if (show_dup_or_drop && verbose >= 0 && handler) {
      LoggerInstance().Log(&engine, llVerbose, line);
      show_dup_or_drop = false;
    }
  }

  // 4. The event, or the log.
  if (handler)
    engine.RaiseProgress(AFileIndex, frame_number, fps, q, static_cast<float>(bitrate), total_size,
                         std::llround(ti1 * AV_TIME_BASE), engine.total_output_duration_);
  else if (verbose >= 0)
    LoggerInstance().Log(&engine, llVerbose, line);

  // 5. The final summary.
  if (AIsLastReport && verbose >= 0) {
    const double raw = static_cast<double>(video_size + audio_size + extra_size);
    LoggerInstance().LogFmt(
        &engine, llVerbose,
        "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
        video_size / 1024.0, audio_size / 1024.0, extra_size / 1024.0,
        raw > 0 ? (static_cast<double>(total_size) - raw) * 100.0 / raw : 0.0);
  }
}

// Runs on the task's worker, after each encoded video packet.
void TEngineMedia::DoVideoStats(TAVOutputStream& AOst, int AFrameSize) {
  const std::string& name = o().vstats_filename;
  if (!vstats_file) {
    vstats_file = std::fopen(name.c_str(), "w");
    if (!vstats_file)
      throw std::runtime_error("fopen fail: " + name);
  }
  AVCodecContext* enc = AOst.enc;
  std::fprintf(vstats_file, "frame= %5d q= %2.1f ", AOst.packets,
               AOst.quality / static_cast<double>(FF_QP2LAMBDA));
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    std::fprintf(vstats_file, "PSNR= %6.2f ",
                 Psnr(static_cast<double>(AOst.frame_error[0]) /
                      (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(vstats_file, "f_size= %6d ", AFrameSize);
  double ti1 = AOst.out_time;
  if (ti1 < 0.01)
    ti1 = 0.01;
  const double bitrate = AFrameSize * 8 / av_q2d(enc->time_base) / 1000.0;
  const double avg_bitrate = static_cast<double>(video_size) * 8 / ti1 / 1000.0;
  std::fprintf(vstats_file,
               "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               static_cast<double>(video_size) / 1024, ti1, bitrate, avg_bitrate);
  std::fprintf(vstats_file, "type= %c\n", AOst.pict_type);
}
