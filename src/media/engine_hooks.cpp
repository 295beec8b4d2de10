// Picture pre-processing (the custom hook with its bitmap round trip, video hook modules) and
// the post hooks (the preview bitmap event and the engine's preview window).
#include <mutex>

#include "media/dispatcher.h"
#include "media/engine_media.h"
#include "media/engine_preview.h"
#include "media/ffutils.h"
#include "media/logger.h"
#include "media/video_hook.h"

namespace {

std::mutex factory_mutex;  // protects preview_factory
TPreviewWindowFactory preview_factory;

TPicture PictureOf(const AVFrame* AFrame) {
  TPicture p;
  for (int i = 0; i < 4; ++i) {
    p.data[i] = AFrame->data[i];
    p.linesize[i] = AFrame->linesize[i];
  }
  return p;
}

}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory AFactory) {
  std::lock_guard lock(factory_mutex);
  preview_factory = std::move(AFactory);
}

TPreviewWindowFactory PreviewWindowFactory() {
  std::lock_guard lock(factory_mutex);
  return preview_factory;
}

// Runs on the task's worker.
AVFrame* TEngineMedia::PreProcess(TAVInputStream&, AVFrame* AFrame, int64_t APts) {
  ++hook_frame_number;
  if (!custom_hook_on && !video_hooks_on)
    return AFrame;
  // A copy the hooks may change; a new buffer when the encoder still holds the last one.
  const auto fmt = static_cast<AVPixelFormat>(AFrame->format);
  if (!hook_frame || !av_frame_is_writable(hook_frame) || hook_frame->width != AFrame->width ||
      hook_frame->height != AFrame->height || hook_frame->format != AFrame->format) {
    av_frame_free(&hook_frame);
    hook_frame = AllocPicture(fmt, AFrame->width, AFrame->height);
  }
  if (!hook_frame || av_frame_copy(hook_frame, AFrame) < 0) {
    LoggerInstance().Log(&engine, llError, "hook buf malloc error.");
    return AFrame;
  }
  av_frame_copy_props(hook_frame, AFrame);
  const int w = hook_frame->width, h = hook_frame->height;
  if (custom_hook_on) {
    const TPicture picture = PictureOf(hook_frame);
    bool stop = false;
    if (!hook_context.PictureToBitmap(picture, fmt, w, h)) {
      LoggerInstance().Log(&engine, llError, "Cannot initialize the toRGB conversion context");
      stop = true;
    } else {
      bool update = true;
      bool stop_hook = false;
      try {
        if (engine.OnCustomHook)
          engine.OnCustomHook(&engine, hook_context.Bitmap.get(), hook_frame_number, APts, update,
                              stop_hook);
      } catch (const std::exception& e) {
        LoggerInstance().Log(&engine, llError, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
      } catch (...) {
        LoggerInstance().Log(&engine, llError, "Error occurs OnCustomHook: unknown exception");
        update = false;
      }
      if (update && !hook_context.BitmapToPicture(picture, fmt, w, h)) {
        LoggerInstance().Log(&engine, llError, "Cannot initialize the fromRGB conversion context");
        stop = true;
      }
      stop = stop || stop_hook;
    }
    if (stop) {
      custom_hook_on = false;
      video_hooks_on = false;
    }
  } else {
    TVideoHookPicture picture{};
    for (int i = 0; i < 4; ++i) {
      picture.data[i] = hook_frame->data[i];
      picture.linesize[i] = hook_frame->linesize[i];
    }
    engine.VideoHooks().Process(&picture, fmt, w, h, APts);
  }
  return hook_frame;
}

// Runs on the task's worker. The set is read under the post-hook lock and only what failed is
// taken out of it afterwards, so changes the main thread made meanwhile are kept; the lock is
// never held while the main thread is waited for.
void TEngineMedia::PostHooks(AVCodecContext* AEnc, const AVFrame* APicture, int64_t APts) {
  TPostHooks hooks;
  {
    std::lock_guard lock(PostHookLock());
    hooks = engine.PostHooksLocked();
  }
  if (!hooks.Contains(phPreview) && preview)
    FreePreview();
  if (hooks.Empty())
    return;
  const int64_t now = NowMicros();
  if (now - last_preview <= engine.PreviewInterval)
    return;
  TPostHooks failed;
  const TPicture picture = PictureOf(APicture);
  auto convert = [&] {
    TBitmap24& bitmap = post_context.EnsureBitmap();
    std::lock_guard canvas(bitmap.Canvas());
    return post_context.PictureToBitmap(picture, AEnc->pix_fmt, AEnc->width, AEnc->height);
  };
  if (hooks.Contains(phBitmap) && engine.OnPreviewBitmap) {
    if (!convert()) {
      LoggerInstance().Log(&engine, llError, "Cannot initialize the toRGB conversion context");
      failed.Include(phBitmap);
    } else if (!engine.Paused()) {
      engine.OnPreviewBitmap(&engine, post_context.Bitmap.get(), hook_frame_number, APts);
    }
    last_preview = now;
  } else if (hooks.Contains(phPreview)) {
    if (!convert()) {
      LoggerInstance().Log(&engine, llError, "Cannot initialize the toRGB conversion context");
      failed.Include(phPreview);
    } else {
      bool shown = false;
      const std::string caption = DurationText(APts);
      const TBitmap24& bitmap = *post_context.Bitmap;
      RunInMainThread([&] {
        if (!preview) {
          if (TPreviewWindowFactory factory = PreviewWindowFactory())
            preview = factory();
          if (preview)
            preview->Show(bitmap.Width(), bitmap.Height());
        }
        if (preview && !preview->Closed()) {
          preview->SetCaption(caption);
          preview->Paint(bitmap);
          shown = true;
        }
      });
      if (!shown) {
        if (!preview)
          LoggerInstance().Log(&engine, llError, "Cannot create the preview window");
        failed.Include(phPreview);
      }
    }
    last_preview = now;
  }
  if (failed.Empty())
    return;
  if (failed.Contains(phPreview))
    FreePreview();
  std::lock_guard lock(PostHookLock());
  TPostHooks current = engine.PostHooksLocked();
  if (failed.Contains(phPreview))
    current.Exclude(phPreview);
  if (failed.Contains(phBitmap))
    current.Exclude(phBitmap);
  engine.SetPostHooksLocked(current);
}

void TEngineMedia::FreePreview() {
  if (!preview)
    return;
  RunInMainThread([this] { preview.reset(); });
}
