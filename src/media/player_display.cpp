// The display (play thread): the display area, the picture overlays, pictures drawn into the
// aspect rectangle with subtitles blended in, and the waveform and spectrum of the sound.
#include "media/player_core.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/time.h>
#include <libswscale/swscale.h>
}

// ---- pure helpers ----

TRenderRect CalculateDisplayRect(int ADispW, int ADispH, int AXLeft, int AYTop, int APicW,
                                 int APicH, AVRational ASar, float AAspectRatio) {
  if (APicW <= 0 || APicH <= 0 || ADispW <= 0 || ADispH <= 0)
    return TRenderRect{AXLeft, AYTop, 0, 0};
  double aspect = AAspectRatio;
  if (AAspectRatio < 0) {
    aspect = static_cast<double>(ADispW) / ADispH;
  } else if (aspect <= 0) {
    double sar = ASar.num && ASar.den ? av_q2d(ASar) : 0;
    if (sar <= 0)
      sar = 1;
    aspect = sar * APicW / APicH;
  }
  int h = ADispH;
  int w = static_cast<int>(std::lrint(h * aspect)) & ~1;
  if (w > ADispW) {
    w = ADispW;
    h = static_cast<int>(std::lrint(w / aspect)) & ~1;
  }
  return TRenderRect{AXLeft + (ADispW - w) / 2, AYTop + (ADispH - h) / 2, w, h};
}

int SpectrumBits(int AHeight) {
  int bits = 1;
  while ((1 << bits) < 2 * AHeight)
    ++bits;
  return bits;
}

void PaletteToYCbCr(uint32_t* APalette, int ACount) {
  // Studio-range BT.601 in 10-bit fixed point, rounded.
  for (int i = 0; i < ACount; ++i) {
    const uint32_t c = APalette[i];
    const int a = c >> 24, r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
    const int y = (263 * r + 516 * g + 100 * b + (16 << 10) + 512) >> 10;
    const int cb = (-152 * r - 298 * g + 450 * b + (128 << 10) + 512) >> 10;
    const int cr = (450 * r - 377 * g - 73 * b + (128 << 10) + 512) >> 10;
    APalette[i] = static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(y) << 16 |
                  static_cast<uint32_t>(cb) << 8 | static_cast<uint32_t>(cr);
  }
}

namespace {
inline uint8_t Blend(int AOld, int ANew, int AAlpha) {
  return static_cast<uint8_t>((AOld * (255 - AAlpha) + ANew * AAlpha + 127) / 255);
}
}  // namespace

void BlendSubRect(const TPicture& ADst, int AWidth, int AHeight, const AVSubtitleRect& ARect) {
  if (!ARect.data[0] || !ARect.data[1])
    return;
  const auto* palette = reinterpret_cast<const uint32_t*>(ARect.data[1]);
  const int x0 = std::max(ARect.x, 0), y0 = std::max(ARect.y, 0);
  const int x1 = std::min(ARect.x + ARect.w, AWidth), y1 = std::min(ARect.y + ARect.h, AHeight);
  if (x0 >= x1 || y0 >= y1)
    return;
  auto entry = [&](int x, int y) {
    return palette[ARect.data[0][(y - ARect.y) * ARect.linesize[0] + (x - ARect.x)]];
  };
  for (int y = y0; y < y1; ++y) {
    uint8_t* lum = ADst.data[0] + static_cast<ptrdiff_t>(y) * ADst.linesize[0];
    for (int x = x0; x < x1; ++x) {
      const uint32_t e = entry(x, y);
      lum[x] = Blend(lum[x], (e >> 16) & 0xff, e >> 24);
    }
  }
  // Chroma per 2 x 2 block, with the mean alpha and colour of the block's covered pixels
  // (one, two or four at the rectangle's edges).
  for (int cy = y0 / 2; cy <= (y1 - 1) / 2; ++cy) {
    uint8_t* cb = ADst.data[1] + static_cast<ptrdiff_t>(cy) * ADst.linesize[1];
    uint8_t* cr = ADst.data[2] + static_cast<ptrdiff_t>(cy) * ADst.linesize[2];
    for (int cx = x0 / 2; cx <= (x1 - 1) / 2; ++cx) {
      int count = 0, alpha = 0, u = 0, v = 0;
      for (int y = 2 * cy; y < 2 * cy + 2; ++y)
        for (int x = 2 * cx; x < 2 * cx + 2; ++x)
          if (x >= x0 && x < x1 && y >= y0 && y < y1) {
            const uint32_t e = entry(x, y);
            ++count;
            alpha += e >> 24;
            u += (e >> 8) & 0xff;
            v += e & 0xff;
          }
      if (!count)
        continue;
      cb[cx] = Blend(cb[cx], u / count, alpha / count);
      cr[cx] = Blend(cr[cx], v / count, alpha / count);
    }
  }
}

int WaveTriggerStart(const int16_t* ASamples, int AStart, int AChannels) {
  auto at = [ASamples](int i) { return ASamples[((i % SAMPLE_ARRAY_SIZE) + SAMPLE_ARRAY_SIZE) % SAMPLE_ARRAY_SIZE]; };
  int best = INT_MIN, start = AStart;
  for (int i = 0; i < 1000; i += AChannels) {
    const int idx = ((AStart - i) % SAMPLE_ARRAY_SIZE + SAMPLE_ARRAY_SIZE) % SAMPLE_ARRAY_SIZE;
    const int b = at(idx + 4 * AChannels), c = at(idx + 5 * AChannels);
    const int score = at(idx) - at(idx + 9 * AChannels);
    if ((b < 0) != (c < 0) && score > best) {
      best = score;
      start = idx;
    }
  }
  return start;
}

void DrawWaveform(TBitmap24& ASurface, int AX, int AY, int AW, int AH, const int16_t* ASamples,
                  int AStart, int AChannels) {
  if (AChannels <= 0)
    return;
  auto white = [&ASurface](int x, int y) {
    if (x >= 0 && y >= 0 && x < ASurface.Width() && y < ASurface.Height())
      std::memset(ASurface.Row(y) + x * 3, 0xff, 3);
  };
  const int h = AH / AChannels;
  const int scale = h * 9 / 20;
  for (int ch = 0; ch < AChannels; ++ch) {
    int i = AStart + ch;
    const int middle = AY + ch * h + h / 2;
    for (int x = 0; x < AW; ++x) {
      int y = (ASamples[i % SAMPLE_ARRAY_SIZE] * scale) >> 15;
      int top = middle;
      if (y < 0) {
        y = -y;
        top = middle - y;
      }
      for (int k = 0; k < y; ++k)
        white(AX + x, top + k);
      i += AChannels;
      if (i >= SAMPLE_ARRAY_SIZE)
        i -= SAMPLE_ARRAY_SIZE;
    }
  }
  for (int ch = 1; ch < AChannels; ++ch)
    for (int x = 0; x < AW; ++x)
      white(AX + x, AY + ch * h);
}

// ---- display area ----

void TVideoState::OpenDisplay(bool AForce) {
  int w = DEFAULT_DISPLAY_WIDTH, h = DEFAULT_DISPLAY_HEIGHT;
  if (Owner->is_full_screen && Owner->fs_screen_width > 0 && Owner->fs_screen_height > 0) {
    w = Owner->fs_screen_width;
    h = Owner->fs_screen_height;
  } else if (Owner->FScreenWidth > 0 && Owner->FScreenHeight > 0) {
    w = Owner->FScreenWidth;
    h = Owner->FScreenHeight;
  } else if (picture_width > 0 && picture_height > 0) {
    w = picture_width;
    h = picture_height;
  }
  if (!AForce && display_opened && w == width && h == height)
    return;
  if (!Owner->FRenderTarget || !Owner->FRenderTarget->OpenDisplay(w, h)) {
    Owner->Log(AV_LOG_ERROR, "SDL: could not set video mode.");
    display_opened = false;
    return;
  }
  width = w;
  height = h;
  surface.SetSize(w, h);
  xpos = xleft;
  display_opened = true;
}

bool TVideoState::DisplayReady() {
  if (!display_opened)
    OpenDisplay(false);
  return display_opened;
}

void TVideoState::AllocPicture() {
  if (!display_opened)
    OpenDisplay(false);
  TVideoPicture* vp;
  {
    std::lock_guard lock(pictq_mutex);
    vp = &pictq[pictq_windex];
  }
  av_frame_free(&vp->bmp);
  AVFrame* overlay = av_frame_alloc();
  if (overlay) {
    overlay->format = AV_PIX_FMT_YUV420P;
    overlay->width = vp->width;
    overlay->height = vp->height;
    if (vp->width <= 0 || vp->height <= 0 || av_frame_get_buffer(overlay, 0) < 0)
      av_frame_free(&overlay);
  }
  if (!overlay)
    Owner->Log(AV_LOG_ERROR, "Cannot allocate a picture buffer");
  std::lock_guard lock(pictq_mutex);
  vp->bmp = overlay;
  vp->allocated = true;
  pictq_cond.notify_all();
}

void TVideoState::Display(TVideoPicture* APicture) {
  if (!DisplayReady())
    return;
  if (audio_st && show_audio)
    VideoAudioDisplay();
  else if (video_st && APicture)
    VideoImageDisplay(*APicture);
  else if (video_st)
    RedrawShown();
}

void TVideoState::ClearDisplay() {
  if (!DisplayReady())
    return;
  std::memset(surface.Pixels(), 0, static_cast<size_t>(surface.Stride()) * surface.Height());
  Owner->FRenderTarget->ShowSurface(surface, TRenderRect{xleft, ytop, width, height});
}

void TVideoState::Resize(int AWidth, int AHeight) {
  Owner->FScreenWidth = AWidth;
  Owner->FScreenHeight = AHeight;
  OpenDisplay(false);
  if (paused)
    Display();
}

void TVideoState::VideoImageDisplay(TVideoPicture& APicture) {
  AVFrame* overlay = APicture.bmp;
  if (!overlay)
    return;
  {
    std::lock_guard lock(subpq_mutex);
    if (subtitle_st && subpq_size > 0) {
      TSubPicture& sp = subpq[subpq_rindex];
      if (APicture.pts >= sp.pts + sp.sub.start_display_time / 1000.0) {
        TPicture planes;
        for (int i = 0; i < 3; ++i) {
          planes.data[i] = overlay->data[i];
          planes.linesize[i] = overlay->linesize[i];
        }
        for (unsigned i = 0; i < sp.sub.num_rects; ++i)
          BlendSubRect(planes, overlay->width, overlay->height, *sp.sub.rects[i]);
      }
    }
  }
  {
    std::lock_guard lock(shown_mutex);
    if (!shown || shown->width != overlay->width || shown->height != overlay->height) {
      av_frame_free(&shown);
      shown = av_frame_alloc();
      if (shown) {
        shown->format = AV_PIX_FMT_YUV420P;
        shown->width = overlay->width;
        shown->height = overlay->height;
        if (av_frame_get_buffer(shown, 0) < 0)
          av_frame_free(&shown);
      }
    }
    if (shown)
      av_image_copy(shown->data, shown->linesize, const_cast<const uint8_t**>(overlay->data),
                    overlay->linesize, AV_PIX_FMT_YUV420P, overlay->width, overlay->height);
    shown_pts = APicture.pts;
    shown_sar = APicture.sample_aspect_ratio;
  }
  ShowOverlay(overlay, APicture.sample_aspect_ratio);
}

void TVideoState::RedrawShown() {
  std::lock_guard lock(shown_mutex);
  if (shown)
    ShowOverlay(shown, shown_sar);
}

void TVideoState::ShowOverlay(const AVFrame* AOverlay, AVRational ASar) {
  const TRenderRect rect = CalculateDisplayRect(width, height, xleft, ytop, AOverlay->width,
                                                AOverlay->height, ASar, Owner->FAspectRatio);
  if (rect.w <= 0 || rect.h <= 0)
    return;
  // The scaler writes whole aligned blocks: scale into a padded buffer, then copy the rows.
  const int stride = FFALIGN(rect.w * 3, 32);
  const int need = stride * (rect.h + 1) + 64;
  if (need > scale_buf_size) {
    av_freep(&scale_buf);
    scale_buf_size = 0;
    scale_buf = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(need)));
    if (!scale_buf)
      return;
    scale_buf_size = need;
  }
  display_sws = sws_getCachedContext(display_sws, AOverlay->width, AOverlay->height,
                                     AV_PIX_FMT_YUV420P, rect.w, rect.h, AV_PIX_FMT_BGR24,
                                     Owner->sws_flags, nullptr, nullptr, nullptr);
  if (!display_sws)
    return;
  uint8_t* dst[4] = {scale_buf, nullptr, nullptr, nullptr};
  int dst_linesize[4] = {stride, 0, 0, 0};
  sws_scale(display_sws, AOverlay->data, AOverlay->linesize, 0, AOverlay->height, dst,
            dst_linesize);
  if (scaled.Width() != rect.w || scaled.Height() != rect.h)
    scaled.SetSize(rect.w, rect.h);
  for (int y = 0; y < rect.h; ++y)
    std::memcpy(scaled.Row(y), scale_buf + static_cast<ptrdiff_t>(y) * stride,
                static_cast<size_t>(rect.w) * 3);
  no_background = false;
  Owner->FRenderTarget->ShowPicture(scaled, rect);
}

bool TVideoState::ShownPicture(TRGBConvertContext& AContext, double& APts, bool& AConverted) {
  std::lock_guard lock(shown_mutex);
  AConverted = false;
  if (!shown)
    return false;
  APts = shown_pts;
  TPicture picture;
  for (int i = 0; i < 3; ++i) {
    picture.data[i] = shown->data[i];
    picture.linesize[i] = shown->linesize[i];
  }
  AConverted = AContext.PictureToBitmap(picture, AV_PIX_FMT_YUV420P, shown->width, shown->height);
  return true;
}

// ---- sound visualisation ----

void TVideoState::VideoAudioDisplay() {
  const int channels = audio_channels;
  if (channels <= 0 || width <= 0 || height <= 0)
    return;
  const int mode = show_audio;
  const int bits = SpectrumBits(height);
  const int nb_freq = 1 << (bits - 1);
  int i_start;
  if (!paused) {
    const int n = 2 * channels;
    int delay = (audio_buf_size - audio_buf_index) / n;
    if (int64_t callback_time = Owner->FAudioCallbackTime) {
      const int64_t time_diff = av_gettime_relative() - callback_time;
      delay -= static_cast<int>(time_diff * audio_freq / 1000000);
    }
    const int data_used = mode == 1 ? width : 2 * nb_freq;
    delay += 2 * data_used;
    if (delay < data_used)
      delay = data_used;
    const int x = ((sample_array_index - delay * channels) % SAMPLE_ARRAY_SIZE + SAMPLE_ARRAY_SIZE) %
                  SAMPLE_ARRAY_SIZE;
    i_start = mode == 1 ? WaveTriggerStart(sample_array, x, channels) : x;
    last_i_start = i_start;
  } else {
    i_start = last_i_start;
  }

  TRenderTarget* target = Owner->FRenderTarget;
  if (mode == 1) {
    for (int y = ytop; y < ytop + height && y < surface.Height(); ++y)
      std::memset(surface.Row(y) + xleft * 3, 0, static_cast<size_t>(width) * 3);
    DrawWaveform(surface, xleft, ytop, width, height, sample_array, i_start, channels);
    target->ShowSurface(surface, TRenderRect{xleft, ytop, width, height});
    return;
  }

  const int display_channels = std::min(channels, 2);
  if (bits != rdft_bits) {
    av_tx_uninit(&rdft);
    av_freep(&rdft_data);
    av_freep(&rdft_out);
    rdft_bits = bits;
    const float scale = 1.0f;
    rdft_data = static_cast<float*>(av_malloc_array(4 * nb_freq, sizeof(float)));
    rdft_out = static_cast<AVComplexFloat*>(av_malloc_array(2 * (nb_freq + 1), sizeof(AVComplexFloat)));
    if (!rdft_data || !rdft_out ||
        av_tx_init(&rdft, &rdft_fn, AV_TX_FLOAT_RDFT, 0, 2 * nb_freq, &scale, AV_TX_UNALIGNED) < 0) {
      av_tx_uninit(&rdft);
      av_freep(&rdft_data);
      av_freep(&rdft_out);
      rdft_bits = 0;
      return;
    }
  }
  for (int ch = 0; ch < display_channels; ++ch) {
    float* data = rdft_data + 2 * nb_freq * ch;
    int i = i_start + ch;
    for (int x = 0; x < 2 * nb_freq; ++x) {
      const double w = static_cast<double>(x - nb_freq) / nb_freq;
      data[x] = static_cast<float>(sample_array[i] * (1.0 - w * w));
      i += channels;
      if (i >= SAMPLE_ARRAY_SIZE)
        i -= SAMPLE_ARRAY_SIZE;
    }
    rdft_fn(rdft, rdft_out + (nb_freq + 1) * ch, data, sizeof(float));
  }
  const double w = 1 / std::sqrt(static_cast<double>(nb_freq));
  for (int y = 0; y < height; ++y) {
    auto level = [&](int ch) {
      const AVComplexFloat& bin = rdft_out[(nb_freq + 1) * ch + y];
      return std::min(255, static_cast<int>(std::sqrt(w * std::hypot(bin.re, bin.im))));
    };
    const int a = level(0);
    const int b = display_channels == 2 ? level(1) : a;
    const int row = ytop + height - 1 - y;
    if (xpos < surface.Width() && row < surface.Height()) {
      uint8_t* px = surface.Row(row) + xpos * 3;
      px[0] = static_cast<uint8_t>((a + b) / 2);
      px[1] = static_cast<uint8_t>(b);
      px[2] = static_cast<uint8_t>(a);
    }
  }
  target->ShowSurface(surface, TRenderRect{xpos, ytop, 1, height});
  if (++xpos >= xleft + width)
    xpos = xleft;
}
