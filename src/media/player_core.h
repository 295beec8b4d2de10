// The preview player's playback core: the state of one open file (TVideoState) with its reader,
// decoder and refresh threads, the sound callback, the clocks, the picture and subtitle queues
// and the display. Internal to the player; the pure helpers at the end are tested directly.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/tx.h>
}

#include <SDL.h>

#include "media/bitmap.h"
#include "media/player.h"
#include "media/player_sync.h"
#include "media/render_target.h"
#include "media/rgb_convert.h"

struct AVFilterGraph;
struct AVFilterContext;
struct SwrContext;
struct SwsContext;

inline constexpr int VIDEO_PICTURE_QUEUE_SIZE = 2;
inline constexpr int SUBPICTURE_QUEUE_SIZE = 4;
inline constexpr int MAX_QUEUE_SIZE = 15 * 1024 * 1024;
inline constexpr int MIN_AUDIOQ_SIZE = 20 * 16 * 1024;
inline constexpr int MIN_FRAMES = 5;
inline constexpr int SDL_AUDIO_BUFFER_SIZE = 1024;  // sample frames per sound buffer
inline constexpr int AUDIO_DIFF_AVG_NB = 20;
inline constexpr double AV_SYNC_THRESHOLD = 0.01;
inline constexpr double AV_NOSYNC_THRESHOLD = 10.0;
inline constexpr double FRAME_SKIP_FACTOR = 0.05;
inline constexpr int SAMPLE_ARRAY_SIZE = 2 * 65536;
inline constexpr int AUDIO_BUF_SIZE = 288000;  // bytes of each sound buffer
inline constexpr int DEFAULT_DISPLAY_WIDTH = 640;
inline constexpr int DEFAULT_DISPLAY_HEIGHT = 480;

// One slot of the picture queue.
struct TVideoPicture {
  double pts = 0;           // seconds
  double target_clock = 0;  // seconds on the relative clock: when to show it
  int64_t pos = -1;         // byte position
  AVFrame* bmp = nullptr;   // the overlay: planar 4:2:0 of width x height, made on the play thread
  int width = 0;            // wanted overlay size (even)
  int height = 0;
  bool allocated = false;
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  AVRational sample_aspect_ratio{0, 1};  // of the filtered picture
};

// One slot of the subtitle queue.
struct TSubPicture {
  double pts = 0;  // seconds
  AVSubtitle sub{};
};

class TVideoState {
public:
  TVideoState(TCustomPlayer* AOwner, TPlaySession* ASession);
  ~TVideoState();
  TVideoState(const TVideoState&) = delete;
  TVideoState& operator=(const TVideoState&) = delete;

  // ---- threads and control (player_core.cpp, player_reader.cpp) ----
  bool StartReader();          // false when the thread cannot start
  void StartRefresh();
  void Close();                // abort, join the reader and refresh threads, free the pictures
  bool StreamComponentOpen(int AStreamIndex);
  void StreamComponentClose(int AStreamIndex);
  // Switches the stream of a kind (AVMediaType); failures are logged and change nothing.
  void StreamCycle(int AKind, int AIndex);
  void RequestSeek(int64_t APos, int64_t ARel, int AFlags);
  void TogglePause();  // the core's half of pausing; see TCustomPlayer::TogglePauseCore
  bool EndOfInput() const { return ReachEOF; }

  // ---- clocks (player_video.cpp) ----
  double GetAudioClock() const;
  double GetVideoClock() const;
  double GetExternalClock() const;
  double GetMasterClock() const;

  // ---- play thread (player_video.cpp, player_display.cpp) ----
  void VideoRefresh(bool AAdvance);
  void AllocPicture();
  void OpenDisplay(bool AForce);
  // The visualisation when shown, else APicture (a queue slot), else the picture last shown.
  void Display(TVideoPicture* APicture = nullptr);
  void ClearDisplay();         // black area, shown
  // Logs what the sound thread left for logging (it must not wait for the main thread).
  void FlushAudioLog();
  void Resize(int AWidth, int AHeight);
  // The picture last shown, converted into AContext's bitmap; false without one.
  bool ShownPicture(TRGBConvertContext& AContext, double& APts, bool& AConverted);

  // ---- sound (player_audio.cpp) ----
  static void SDLCALL AudioCallback(void* AOpaque, Uint8* AStream, int ALen);

  // ---- fields ----
  TCustomPlayer* Owner;
  TPlaySession* Session;

  std::thread parse_tid, video_tid, subtitle_tid, refresh_tid;

  AVFormatContext* ic = nullptr;
  const AVInputFormat* iformat = nullptr;
  std::string filename;
  std::atomic<int> Opened{0};  // 0 opening, 1 opened, -1 failed, -2 failed and cleaned up
  TManualEvent OpenedEvent{false};  // set when Opened leaves 0 and again at -2
  int64_t StartTime = 0;       // microseconds, 0 when unknown
  int64_t Duration = -1;       // microseconds, -1 when unknown
  std::atomic<int64_t> AudioDuration{-1};
  bool IsImage2 = false;
  bool IsDevice = false;

  std::atomic<bool> abort_request{false};
  std::atomic<bool> paused{false};
  bool last_paused = false;  // reader
  std::atomic<int> read_pause_return{0};
  std::atomic<bool> seek_req{false};
  std::atomic<int> seek_flags{0};
  std::atomic<int64_t> seek_pos{0};
  std::atomic<int64_t> seek_rel{0};
  std::atomic<int> open_paused{0};
  std::atomic<bool> seek_paused{false};
  std::atomic<bool> seek_done{false};
  std::atomic<bool> seek_flushed{false};
  std::atomic<bool> ErrorEOF{false};
  std::atomic<bool> EventEOF{false};
  std::atomic<bool> ReachEOF{false};
  std::atomic<bool> Reading{false};
  std::atomic<bool> refresh{false};
  bool no_background = false;
  // Makes "ignore while pending" and the request one step, and keeps seek_done and
  // seek_paused consistent between the reader, the decoder and pausing.
  std::mutex seek_mutex;
  // Set by each thread as its last act, so joins on the main thread can keep pumping.
  std::atomic<bool> parse_done{false}, video_done{false}, subtitle_done{false}, refresh_done{false};

  Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;
  std::atomic<double> external_clock{0};
  std::atomic<int64_t> external_clock_time{0};
  std::atomic<double> audio_clock{0};
  double audio_diff_cum = 0;
  double audio_diff_avg_coef = 0;
  double audio_diff_threshold = 0;
  int audio_diff_avg_count = 0;
  double frame_timer = 0;     // under pictq_mutex
  double frame_last_pts = 0;  // video thread
  double frame_last_delay = 0;
  std::atomic<double> video_clock{0};
  std::atomic<double> video_current_pts{0};
  std::atomic<double> video_current_pts_drift{0};
  std::atomic<int64_t> video_current_pos{-1};
  int64_t faulty_pts = 0, faulty_dts = 0;
  int64_t last_dts_for_fault_detection = INT64_MIN;
  int64_t last_pts_for_fault_detection = INT64_MIN;
  std::atomic<double> skip_frames{1};
  double skip_frames_index = 0;

  // Stream indexes change under streams_mutex, which the reader holds while it hands a packet
  // to a queue; others read them without it.
  std::mutex streams_mutex;

  std::atomic<int> audio_stream{-1};
  std::atomic<AVStream*> audio_st{nullptr};  // read by the play, refresh and sound threads
  AVCodecContext* audio_ctx = nullptr;
  TPacketQueue audioq;
  SDL_AudioDeviceID audio_dev = 0;
  int audio_hw_buf_size = 0;
  std::atomic<int> audio_channels{0};  // of the sound output
  std::atomic<int> audio_freq{0};
  alignas(32) uint8_t audio_buf1[AUDIO_BUF_SIZE];  // decoded samples when already 16-bit
  alignas(32) uint8_t audio_buf2[AUDIO_BUF_SIZE];  // converted samples
  uint8_t* audio_buf = nullptr;
  std::atomic<int> audio_buf_size{0};
  std::atomic<int> audio_buf_index{0};
  AVFrame* audio_frame = nullptr;
  bool audio_pkt_pending = false;  // a packet was sent and may hold more frames
  AVSampleFormat audio_src_fmt = AV_SAMPLE_FMT_S16;
  AVChannelLayout audio_src_layout{};
  int audio_src_freq = 0;
  SwrContext* reformat_ctx = nullptr;
  std::mutex audio_log_mutex;  // protects audio_log
  std::vector<std::pair<int, std::string>> audio_log;  // level, text; a few at most

  std::atomic<int> show_audio{0};  // 0 none, 1 waveform, 2 spectrum
  int16_t sample_array[SAMPLE_ARRAY_SIZE] = {};  // written by the sound thread only
  std::atomic<int> sample_array_index{0};
  int last_i_start = 0;
  AVTXContext* rdft = nullptr;
  av_tx_fn rdft_fn = nullptr;
  int rdft_bits = 0;
  float* rdft_data = nullptr;  // input: 2 x bins floats per channel
  AVComplexFloat* rdft_out = nullptr;
  int xpos = 0;

  std::atomic<int> video_stream{-1};
  std::atomic<AVStream*> video_st{nullptr};
  AVCodecContext* video_ctx = nullptr;
  TPacketQueue videoq;
  TVideoPicture pictq[VIDEO_PICTURE_QUEUE_SIZE];
  int pictq_size = 0, pictq_rindex = 0, pictq_windex = 0;  // under pictq_mutex
  std::mutex pictq_mutex;
  std::condition_variable pictq_cond;
  AVFilterGraph* graph = nullptr;  // video thread
  AVFilterContext* in_video_filter = nullptr;
  AVFilterContext* out_video_filter = nullptr;
  bool graph_ready = false;
  int graph_width = 0, graph_height = 0, graph_format = -1;
  // Size of the filtered pictures rounded down to even numbers, 0 before the first one.
  std::atomic<int> picture_width{0}, picture_height{0};
  bool decoder_draining = false;  // the end-of-input packet was handed to the decoder

  std::atomic<int> subtitle_stream{-1};
  std::atomic<AVStream*> subtitle_st{nullptr};
  AVCodecContext* subtitle_ctx = nullptr;
  TPacketQueue subtitleq;
  TSubPicture subpq[SUBPICTURE_QUEUE_SIZE];
  int subpq_size = 0, subpq_rindex = 0, subpq_windex = 0;  // under subpq_mutex
  std::mutex subpq_mutex;
  std::condition_variable subpq_cond;
  std::atomic<bool> subtitle_stream_changed{false};

  // Display (play thread).
  int width = 0, height = 0;  // display area, 0 x 0 until opened
  int xleft = 0, ytop = 0;
  bool display_opened = false;
  TBitmap24 surface;        // the area's contents for the visualisation
  TBitmap24 scaled;         // the picture scaled to its rectangle
  uint8_t* scale_buf = nullptr;  // aligned, padded target of the scaler
  int scale_buf_size = 0;
  SwsContext* display_sws = nullptr;
  // The picture last shown (with subtitles), for snapshots and redraws.
  std::mutex shown_mutex;  // protects shown and shown_pts
  AVFrame* shown = nullptr;
  double shown_pts = 0;
  AVRational shown_sar{0, 1};

private:
  // player_reader.cpp
  void ReadThread();
  bool ReadOpen();
  void ReadLoop();
  void ReadEnd(bool AOpened);
  void PerformSeek(bool& AEof);
  bool QueuesFull() const;
  static int DecodeInterrupt(void* AOpaque);
  void ApplyDecoderOptions(AVCodecContext* ACtx, const AVCodec* ACodec);
  // player_video.cpp
  void VideoThread();
  int GetVideoFrame(AVFrame* AFrame);
  int GetFilteredPicture(AVFrame* AOut, AVFrame* ADecoded);
  bool ConfigureVideoFilters(const AVFrame* AFrame);
  int QueuePicture(AVFrame* AFrame, double APts, int64_t APos);
  double ComputeTargetTime(double AFramePts);
  void RefreshThread();
  void SubtitleThread();
  void FreeSubPicture(TSubPicture& ASub);
  // player_audio.cpp
  int AudioDecodeFrame(double& APts);
  int ConvertAudio(const AVFrame* AFrame);
  int SynchronizeAudio(int ASize, double APts);
  void UpdateSampleDisplay(const uint8_t* ASamples, int ASize);
  void LogLater(int ALevel, const std::string& AText);
  // player_display.cpp
  void VideoImageDisplay(TVideoPicture& APicture);
  void ShowOverlay(const AVFrame* AOverlay, AVRational ASar);
  void RedrawShown();
  void VideoAudioDisplay();
  bool DisplayReady();
};

// The session of one opened file: the play and event threads and their queues.
struct TPlaySession {
  TDisplayEventQueue display_events;
  TPlayEventQueue play_events;
  std::thread play_thread;
  std::thread event_thread;
  std::atomic<bool> play_done{false};
  std::atomic<bool> event_done{false};
  std::atomic<int> handler_depth{0};  // > 0 while a handler of this session runs
  std::atomic<bool> core_gone{false};  // the core was shut down
};

// Seconds on the monotonic clock all target times use.
double NowSeconds();
// Joins AThread; on the main thread keeps servicing pending calls until ADone is set.
void JoinPumping(std::thread& AThread, const std::atomic<bool>& ADone);

// Marks the calling thread as one of APlayer's threads (for the duration of the thread).
void MarkPlayerThread(const TCustomPlayer* APlayer);
const TCustomPlayer* PlayerOfThread();

// ---- pure helpers ----

// The rectangle a picture of APicW x APicH with sample aspect ASar occupies in a display area
// of ADispW x ADispH at offset AXLeft, AYTop, for the AspectRatio setting (0 own aspect,
// negative fill the area, positive forced width/height).
TRenderRect CalculateDisplayRect(int ADispW, int ADispH, int AXLeft, int AYTop, int APicW,
                                 int APicH, AVRational ASar, float AAspectRatio);
// The smallest b with 2^b >= 2 * AHeight.
int SpectrumBits(int AHeight);
// Converts a subtitle palette (0xAARRGGBB) into (A, Y, Cb, Cr) bytes in the same positions
// (studio range, ITU-R BT.601).
void PaletteToYCbCr(uint32_t* APalette, int ACount);
// Blends a palettised rectangle whose palette holds (A, Y, Cb, Cr) into a planar 4:2:0
// picture of AWidth x AHeight, clipped to it.
void BlendSubRect(const TPicture& ADst, int AWidth, int AHeight, const AVSubtitleRect& ARect);
// Start index of the waveform: the best trigger point at or before AStart.
int WaveTriggerStart(const int16_t* ASamples, int AStart, int AChannels);
// Draws the waveform of AChannels interleaved channels from AStart onto the black-filled
// surface area at AX, AY of AW x AH.
void DrawWaveform(TBitmap24& ASurface, int AX, int AY, int AW, int AH, const int16_t* ASamples,
                  int AStart, int AChannels);
// The size a sound chunk of ASize bytes should get for a clock difference of ADiff seconds
// (n = bytes per sample frame), limited to +-10 % and to ACapacity.
int WantedAudioSize(int ASize, int AN, double ADiff, int ARate, int ACapacity);
