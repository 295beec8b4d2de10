// The clean-up after a run, before a new fill and on destruction: everything opened for the
// inputs and outputs goes, outputs that received nothing are deleted.
#include <cstdio>

#include <unistd.h>

#include "media/engine_media.h"
#include "media/ffutils.h"
#include "media/video_hook.h"

TEngineMedia* NewEngineMedia(TCustomFFmpeg& AEngine, int AMaxFiles) {
  return new TEngineMedia(AEngine, AMaxFiles);
}

void TEngineMediaDeleter::operator()(TEngineMedia* AMedia) const { delete AMedia; }

TEngineMedia::~TEngineMedia() {
  UndoRun();
  FreePreview();
  ost_table.clear();
  output_files.clear();
  outputs.clear();
  inputs.clear();
  if (vstats_file)
    std::fclose(vstats_file);
  av_channel_layout_uninit(&input_layout);
}

void TCustomFFmpeg::CleanUp() { media_->CleanUp(); }

void TEngineMedia::CleanUp() {
  UndoRun();
  // The outputs: closed, and deleted when they received nothing.
  std::vector<std::string> names;
  for (const auto& out : outputs)
    names.push_back(FromLibFileName(out->name));
  output_files.clear();
  outputs.clear();  // closes the files
  for (const std::string& name : names)
    if (FileSizeOf(name) == 0)
      ::unlink(name.c_str());
  engine.InputsClosing();
  inputs.clear();
  if (vstats_file) {
    std::fclose(vstats_file);
    vstats_file = nullptr;
  }
  engine.VideoHooks().Clear();
  hook_context.Reset();
  post_context.Reset();
  FreePreview();
  av_channel_layout_uninit(&input_layout);
  new_streams_made = 0;
  video_size = audio_size = extra_size = 0;
  nb_frames_dup = nb_frames_drop = 0;
  show_dup_or_drop = false;
  hook_frame_number = 0;
  custom_hook_on = video_hooks_on = false;
  qp_histogram.fill(0);
  last_preview = 0;
}
