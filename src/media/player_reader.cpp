// The reader thread: opens the file, chooses and opens the streams, then reads packets into
// the queues, performs seeks and detects the end of input until the core is closed.
#include "media/player_core.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cinttypes>
#include <cstring>
#include <thread>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Input formats that are capture devices.
const char* const kDeviceFormats[] = {"vfwcap", "vfwcapture", "video4linux2,v4l2", "x11grab"};

std::string Printf(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* AFormat, ...) {
  char buf[1024];
  va_list args;
  va_start(args, AFormat);
  int n = std::vsnprintf(buf, sizeof buf, AFormat, args);
  va_end(args);
  return n < 0 ? std::string() : std::string(buf, std::min<size_t>(n, sizeof buf - 1));
}
}  // namespace

int TVideoState::DecodeInterrupt(void* AOpaque) {
  return static_cast<TVideoState*>(AOpaque)->abort_request ? 1 : 0;
}

void TVideoState::ReadThread() {
  bool opened = ReadOpen();
  if (opened) {
    Opened = 1;
    OpenedEvent.Set();
    ReadLoop();
    while (!abort_request)
      SleepMs(100);
  }
  ReadEnd(opened);
}

bool TVideoState::ReadOpen() {
  ic = avformat_alloc_context();
  if (!ic) {
    Owner->Error(ErrorText(filename, AVERROR(ENOMEM)));
    return false;
  }
  ic->interrupt_callback.callback = DecodeInterrupt;
  ic->interrupt_callback.opaque = this;
  AVDictionary* options = nullptr;
  if (Owner->frame_width > 0 && Owner->frame_height > 0)
    av_dict_set(&options, "video_size",
                Printf("%dx%d", Owner->frame_width.load(), Owner->frame_height.load()).c_str(), 0);
  if (Owner->frame_pix_fmt != AV_PIX_FMT_NONE)
    if (const char* name = av_get_pix_fmt_name(Owner->frame_pix_fmt))
      av_dict_set(&options, "pixel_format", name, 0);
  int r = avformat_open_input(&ic, ToLibFileName(filename).c_str(), iformat, &options);
  av_dict_free(&options);
  if (r < 0) {  // the library freed the context
    Owner->Error(ErrorText(filename, r));
    return false;
  }
  if (Owner->genpts)
    ic->flags |= AVFMT_FLAG_GENPTS;
  if (avformat_find_stream_info(ic, nullptr) < 0) {
    Owner->Error(filename + ": could not find codec parameters");
    return false;
  }
  if (ic->pb)
    ic->pb->eof_reached = 0;
  if (Owner->seek_by_bytes < 0)
    Owner->seek_by_bytes = (ic->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
  IsImage2 = std::strcmp(ic->iformat->name, "image2") == 0;
  for (const char* device : kDeviceFormats)
    IsDevice = IsDevice || std::strcmp(ic->iformat->name, device) == 0;
  StartTime = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
  Duration = ic->duration != AV_NOPTS_VALUE ? ic->duration : -1;
  external_clock = StartTime / 1000000.0;
  external_clock_time = av_gettime_relative();

  if (int64_t start = Owner->start_time; start != NoTimeStamp) {
    int64_t timestamp = start + (ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0);
    if (avformat_seek_file(ic, -1, INT64_MIN, timestamp, INT64_MAX, 0) < 0)
      Owner->Log(AV_LOG_WARNING, Printf("%s: could not seek to position %0.3f", filename.c_str(),
                                        timestamp / 1000000.0));
  }

  // Stream choice: the wanted n-th stream of a kind, else the one the library rates best (by
  // the packets read while analysing, among other things).
  for (unsigned i = 0; i < ic->nb_streams; ++i)
    ic->streams[i]->discard = AVDISCARD_ALL;
  auto choose = [this](AVMediaType AType, int AWanted) {
    if (AWanted < 0)
      return av_find_best_stream(ic, AType, -1, -1, nullptr, 0);
    int seen = 0;
    for (unsigned i = 0; i < ic->nb_streams; ++i)
      if (ic->streams[i]->codecpar->codec_type == AType && seen++ == AWanted)
        return static_cast<int>(i);
    return -1;
  };
  int audio = -1, video = -1, subtitle = -1;
  if (!Owner->audio_disable)
    audio = choose(AVMEDIA_TYPE_AUDIO, Owner->wanted_audio_stream);
  if (!Owner->video_disable) {
    video = choose(AVMEDIA_TYPE_VIDEO, Owner->wanted_video_stream);
    subtitle = choose(AVMEDIA_TYPE_SUBTITLE, Owner->wanted_subtitle_stream);
  }

  if (audio >= 0)
    StreamComponentOpen(audio);
  bool video_opened = video >= 0 && StreamComponentOpen(video);
  if (!video_opened && !Owner->display_disable)
    show_audio = 2;
  if (subtitle >= 0)
    StreamComponentOpen(subtitle);
  if (video_stream < 0 && audio_stream < 0) {
    Owner->Error(filename + ": could not open codecs, no stream to play.");
    return false;
  }
  return true;
}

bool TVideoState::QueuesFull() const {
  if (audioq.size() + videoq.size() + subtitleq.size() > MAX_QUEUE_SIZE)
    return true;
  return (audioq.size() > MIN_AUDIOQ_SIZE || audio_stream < 0) &&
         (videoq.nb_packets() > MIN_FRAMES || video_stream < 0) &&
         (subtitleq.nb_packets() > MIN_FRAMES || subtitle_stream < 0);
}

void TVideoState::PerformSeek(bool& AEof) {
  const int64_t target = seek_pos, rel = seek_rel;
  const int flags = seek_flags;
  const int64_t min = rel > 0 ? target - rel + 2 : INT64_MIN;
  const int64_t max = rel < 0 ? target - rel - 2 : INT64_MAX;
  int r = avformat_seek_file(ic, -1, min, target, max, flags);
  if (r < 0)
    r = av_seek_frame(ic, -1, target, flags);
  if (r < 0)
    r = av_seek_frame(ic, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  if (r < 0) {
    Owner->Log(AV_LOG_ERROR, filename + ": error while seeking");
    if (video_stream >= 0)
      Owner->FPictEvent.Set();
    std::lock_guard lock(seek_mutex);
    seek_done = true;
  } else {
    // The decoder clears seek_flushed and seek_done and sets the picture signal once it meets
    // the flush packet, so they are set before that packet is queued.
    if (video_stream >= 0) {
      seek_flushed = false;
      Owner->FPictEvent.Reset();
    }
    {
      std::lock_guard lock(seek_mutex);
      seek_done = true;
    }
    std::lock_guard lock(streams_mutex);
    if (audio_stream >= 0) {
      audioq.Flush();
      audioq.PutFlush();
    }
    if (subtitle_stream >= 0) {
      subtitleq.Flush();
      subtitleq.PutFlush();
    }
    if (video_stream >= 0) {
      videoq.Flush();
      videoq.PutFlush();
    }
  }
  ErrorEOF = false;
  ReachEOF = false;
  {
    std::lock_guard lock(seek_mutex);
    seek_req = false;
  }
  Owner->FSeekEvent.Set();
  if (video_stream < 0)
    Owner->FSeeking = false;
  AEof = false;
}

void TVideoState::ReadLoop() {
  AVPacket* pkt = av_packet_alloc();
  if (!pkt)
    return;
  bool eof = false;
  while (!abort_request) {
    if (paused != last_paused) {
      last_paused = paused;
      if (last_paused)
        read_pause_return = av_read_pause(ic);
      else
        av_read_play(ic);
    }
    if (seek_req) {
      PerformSeek(eof);
      continue;
    }
    if (QueuesFull()) {
      SleepMs(10);
      continue;
    }
    if (eof || (ic->pb && avio_feof(ic->pb))) {
      // One end-of-input packet at a time keeps the video decoder draining without letting the
      // queue grow while the decoder waits.
      if (video_stream >= 0) {
        if (videoq.nb_packets() == 0)
          videoq.PutEmpty(video_stream);
        Owner->FPictEvent.Set();
      }
      SleepMs(10);
      if (audioq.nb_packets() == 0 && videoq.nb_packets() == 0 && subtitleq.nb_packets() == 0)
        ReachEOF = true;
      continue;
    }
    Reading = true;
    int r = av_read_frame(ic, pkt);
    Reading = false;
    if (abort_request) {
      av_packet_unref(pkt);
      break;
    }
    if (r < 0) {
      if (r == AVERROR(EAGAIN)) {
        SleepMs(10);
        continue;
      }
      if (video_stream >= 0)
        Owner->FPictEvent.Set();
      if (!IsImage2 && !ErrorEOF) {
        ErrorEOF = true;
        if (r == AVERROR_EOF)
          Owner->Log(AV_LOG_INFO, "reach end of file: " + filename);
        else
          Owner->Log(AV_LOG_ERROR, Printf("error #%d while reading file: %s", r, filename.c_str()));
      }
      if (r == AVERROR_EOF)
        eof = true;
      if (ic->pb && ic->pb->error)
        break;
      SleepMs(100);
      continue;
    }
    std::lock_guard lock(streams_mutex);
    if (pkt->stream_index == audio_stream)
      audioq.Put(pkt);
    else if (pkt->stream_index == video_stream)
      videoq.Put(pkt);
    else if (pkt->stream_index == subtitle_stream)
      subtitleq.Put(pkt);
    else
      av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
}

void TVideoState::ReadEnd(bool AOpened) {
  if (ic) {
    ic->interrupt_callback.callback = nullptr;
    StreamComponentClose(audio_stream);
    StreamComponentClose(video_stream);
    StreamComponentClose(subtitle_stream);
    if (AOpened)
      Owner->TakeClosedContext(ic);  // the probe still looks at it; the main thread closes it
    else
      avformat_close_input(&ic);
    ic = nullptr;
  }
  if (!AOpened) {
    Opened = -2;
    OpenedEvent.Set();
  }
}
