// Filter graphs: the video filters of an output stream (source "src", sink "out", the user's
// text between "in" and "out") and the deinterlacing of an input stream's pictures.
#include <stdexcept>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "media/engine_media.h"
#include "media/engine_options_values.h"
#include "media/ffutils.h"
#include "media/logger.h"

namespace {

// Creates the buffer source "src" for pictures of the given kind, times in microseconds.
int MakeSource(AVFilterGraph* AGraph, AVFilterContext** ASrc, int AWidth, int AHeight,
               AVPixelFormat AFormat, AVRational ASampleAspect) {
  const std::string args = FormatText(
      "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", AWidth, AHeight, AFormat,
      AV_TIME_BASE, ASampleAspect.num ? ASampleAspect.num : 0, ASampleAspect.den ? ASampleAspect.den : 1);
  return avfilter_graph_create_filter(ASrc, avfilter_get_by_name("buffer"), "src", args.c_str(),
                                      nullptr, AGraph);
}

// Creates the sink "out", accepting only AFormat (any format for AV_PIX_FMT_NONE).
int MakeSink(AVFilterGraph* AGraph, AVFilterContext** ASink, AVPixelFormat AFormat) {
  int ret = avfilter_graph_create_filter(ASink, avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, AGraph);
  if (ret < 0 || AFormat == AV_PIX_FMT_NONE)
    return ret;
  const AVPixelFormat formats[] = {AFormat, AV_PIX_FMT_NONE};
  return av_opt_set_int_list(*ASink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                             AV_OPT_SEARCH_CHILDREN);
}

// Appends a filter after ALast; returns the new last filter or throws.
AVFilterContext* Append(AVFilterGraph* AGraph, AVFilterContext* ALast, const char* AFilter,
                        const char* AName, const std::string& AArgs) {
  AVFilterContext* ctx = nullptr;
  int ret = avfilter_graph_create_filter(&ctx, avfilter_get_by_name(AFilter), AName,
                                         AArgs.c_str(), nullptr, AGraph);
  if (ret >= 0)
    ret = avfilter_link(ALast, 0, ctx, 0);
  if (ret < 0)
    throw std::runtime_error(ErrorText(AFilter, ret));
  return ctx;
}

}  // namespace

void TEngineMedia::ConfigureVideoFilters(TAVOutputStream& AOst, TAVInputStream& AIst,
                                         bool ASetEncoderSize) {
  AVCodecContext* enc = AOst.enc;
  const AVCodecParameters* ipar = AIst.st->codecpar;
  TFilterGraph& fg = AOst.filter;
  try {
    fg.graph = avfilter_graph_alloc();
    if (!fg.graph)
      throw std::runtime_error("Out of memory");
    fg.graph->nb_threads = 1;
    const int sws_flags = engine.FFOptions().SwsFlags();
    fg.graph->scale_sws_opts = av_strdup(FormatText("flags=0x%X", sws_flags).c_str());
    int ret = MakeSource(fg.graph, &fg.src, ipar->width, ipar->height,
                         static_cast<AVPixelFormat>(ipar->format), ipar->sample_aspect_ratio);
    if (ret < 0)
      throw std::runtime_error(ErrorText("buffer", ret));
    ret = MakeSink(fg.graph, &fg.sink, enc->pix_fmt);
    if (ret < 0)
      throw std::runtime_error(ErrorText("buffersink", ret));
    AVFilterContext* last = fg.src;
    const int crop_w = ipar->width - AOst.leftBand - AOst.rightBand;
    const int crop_h = ipar->height - AOst.topBand - AOst.bottomBand;
    if (AOst.video_crop)
      last = Append(fg.graph, last, "crop", "crop",
                    FormatText("x=%d:y=%d:w=%d:h=%d", AOst.leftBand, AOst.topBand, crop_w, crop_h));
    if (enc->width > 0 && enc->height > 0 && (crop_w != enc->width || crop_h != enc->height))
      last = Append(fg.graph, last, "scale", "scale",
                    FormatText("%d:%d:flags=0x%X", enc->width, enc->height, sws_flags));
    const std::string& text = AOst.desc->vfilters;
    if (!text.empty()) {
      AVFilterInOut* outputs = avfilter_inout_alloc();
      AVFilterInOut* inputs = avfilter_inout_alloc();
      if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        throw std::runtime_error("Out of memory");
      }
      outputs->name = av_strdup("in");
      outputs->filter_ctx = last;
      outputs->pad_idx = 0;
      inputs->name = av_strdup("out");
      inputs->filter_ctx = fg.sink;
      inputs->pad_idx = 0;
      ret = avfilter_graph_parse_ptr(fg.graph, text.c_str(), &inputs, &outputs, nullptr);
      avfilter_inout_free(&outputs);
      avfilter_inout_free(&inputs);
      if (ret < 0)
        throw std::runtime_error(ErrorText(text, ret));
    } else {
      ret = avfilter_link(last, 0, fg.sink, 0);
      if (ret < 0)
        throw std::runtime_error(ErrorText("avfilter_link", ret));
    }
    ret = avfilter_graph_config(fg.graph, nullptr);
    if (ret < 0)
      throw std::runtime_error(ErrorText("avfilter_graph_config", ret));
    if (ASetEncoderSize) {
      enc->width = av_buffersink_get_w(fg.sink);
      enc->height = av_buffersink_get_h(fg.sink);
      AVRational sar = av_buffersink_get_sample_aspect_ratio(fg.sink);
      if (sar.num) {
        enc->sample_aspect_ratio = sar;
        AOst.st->sample_aspect_ratio = sar;
      }
    }
    AOst.filter_time_base = av_buffersink_get_time_base(fg.sink);
  } catch (const std::exception& e) {
    fg.Free();
    throw std::runtime_error(std::string("Error opening filters: ") + e.what());
  }
}

bool TEngineMedia::ConfigureDeinterlace(TAVInputStream& AIst, const AVFrame* AFrame) {
  TFilterGraph& fg = AIst.deinterlace;
  fg.graph = avfilter_graph_alloc();
  bool ok = fg.graph != nullptr;
  if (ok) {
    fg.graph->nb_threads = 1;
    ok = MakeSource(fg.graph, &fg.src, AFrame->width, AFrame->height,
                    static_cast<AVPixelFormat>(AFrame->format), AFrame->sample_aspect_ratio) >= 0 &&
         MakeSink(fg.graph, &fg.sink, AV_PIX_FMT_NONE) >= 0;
  }
  if (ok) {
    AVFilterContext* yadif = nullptr;
    ok = avfilter_graph_create_filter(&yadif, avfilter_get_by_name("yadif"), "deinterlace",
                                      "mode=send_frame:parity=auto:deint=all", nullptr,
                                      fg.graph) >= 0 &&
         avfilter_link(fg.src, 0, yadif, 0) >= 0 && avfilter_link(yadif, 0, fg.sink, 0) >= 0 &&
         avfilter_graph_config(fg.graph, nullptr) >= 0;
  }
  if (!ok)
    fg.Free();
  return ok;
}
