// The media work of one per-task engine: the opened inputs and outputs, the tables of a run and
// the steps that fill and use them. Internal to the engine; its parts live in engine_input.cpp
// (opening inputs), engine_output.cpp (outputs and their streams), engine_setup.cpp (the run
// set-up and its undoing), engine_filters.cpp (filter graphs), engine_transcode.cpp (the loop,
// input packets, packet writing), engine_audio.cpp, engine_video.cpp (frame output),
// engine_hooks.cpp (picture pre-processing and post hooks), engine_progress.cpp (reports) and
// engine_cleanup.cpp.
//
// Threads: OpenInput / OpenOutput run on the caller's thread while the task is filled; the run
// (set-up, loop, undo, clean-up) on the worker. The start of the worker orders the two, so
// nothing here is locked except where a comment says so.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

#include "media/engine.h"
#include "media/engine_preview.h"
#include "media/rgb_convert.h"

struct AVFilterGraph;
struct AVFilterContext;
struct SwrContext;
struct SwsContext;

// Media type names of the mapping report and the messages.
const char* MediaTypeName(AVMediaType AType);

// The decoder or encoder called AName, checked as every codec name is: unknown ("Unknown %s
// '%s'"), of another media type ("Invalid %s type '%s'") or experimental while AOptions does
// not allow experimental codecs. Throws std::runtime_error with the message.
const AVCodec* FindCodecByName(const std::string& AName, AVMediaType AType, bool AEncoder,
                               const AVCodecContext* AOptions);

// A filter graph from a "buffer" source to a "buffersink" sink.
struct TFilterGraph {
  AVFilterGraph* graph = nullptr;
  AVFilterContext* src = nullptr;
  AVFilterContext* sink = nullptr;
  void Free();
  bool Active() const { return graph != nullptr; }
};

// One opened input; it lives from OpenInput to the clean-up. The run fields belong to the run
// (TAVInputFile of the run tables).
struct TInputFile {
  ~TInputFile() { avformat_close_input(&ctx); }
  AVFormatContext* ctx = nullptr;
  std::string name;
  int64_t ts_offset = 0;  // microseconds added to every time stamp of this input
  std::array<double, MaxStreams> ts_scale{};            // per stream, 0 = none
  std::array<const AVCodec*, MaxStreams> codecs{};      // forced decoder per stream, or none
  bool has_id = false;  // dev / ino name the file (not for devices and protocols)
  dev_t dev = 0;
  ino_t ino = 0;
  // -- run
  bool eof_reached = false;
  bool no_packet = false;  // the last read asked to try again
  int ist_index = 0;       // its first stream in the input stream table
  int nb_streams = 0;
};

// A stream of an output container with everything its creation decided. Owned by its output
// file; the run's output streams point at it (in join mode several at the same one).
struct TOutputStreamDesc {
  ~TOutputStreamDesc();
  AVStream* st = nullptr;
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  bool stream_copy = false;
  const AVCodec* encoder = nullptr;  // null for stream copy
  AVCodecContext* enc = nullptr;     // configured at creation, opened by the run set-up
  AVDictionary* enc_opts = nullptr;  // the encoder's private options, for its opening
  bool opened = false;               // enc is open
  bool drained = false;              // the encoder has been told the stream ended
  std::vector<TBitstreamFilterSpec> bitstream_filters;
  std::string vfilters;
  AVRational frame_rate{0, 0};  // video
  AVAudioFifo* fifo = nullptr;  // audio samples waiting for a whole encoder frame
  FILE* logfile = nullptr;      // two-pass log
  std::string logfile_name;
  double out_time = 0.0;  // seconds the container has reached in this stream
};

// One output container, once in the output table (join mode: once per input).
struct TOutputFile {
  ~TOutputFile();
  AVFormatContext* ctx = nullptr;
  std::string name;
  std::vector<std::unique_ptr<TOutputStreamDesc>> streams;
  AVDictionary* mux_opts = nullptr;  // the muxer's private options for its header
  bool header_written = false;
  bool trailer_written = false;
};

// An input stream during a run.
struct TAVInputStream {
  ~TAVInputStream();
  int file_index = 0;
  int index = 0;
  AVStream* st = nullptr;
  bool discard = true;  // not yet used by any output
  bool decoding_needed = false;
  AVCodecContext* dec = nullptr;
  const AVCodec* decoder = nullptr;
  int64_t start = 0;  // wall-clock start for native-rate reading, microseconds
  int64_t next_pts = AV_NOPTS_VALUE;  // microseconds
  int64_t pts = 0;                    // microseconds, of the last decoded frame
  int64_t dts = AV_NOPTS_VALUE;       // microseconds, of the last packet read
  bool is_start = true;
  bool showed_multi_packet_warning = false;
  bool is_past_recording_time = false;
  bool decoder_flushed = false;
  int quality = 0;  // of the last decoded picture
  TFilterGraph deinterlace;
};

// An output stream during a run.
struct TAVOutputStream {
  ~TAVOutputStream();
  int file_index = 0;    // index in the output table
  int index = 0;         // stream index in its container
  int source_index = 0;  // input stream table index
  AVStream* st = nullptr;
  TOutputStreamDesc* desc = nullptr;
  AVCodecContext* enc = nullptr;  // desc->enc
  bool encoding_needed = false;
  int frame_number = 0;
  int sync_ist = 0;       // input stream used for synchronisation
  int64_t sync_opts = 0;  // frames or samples emitted, encoder time base
  // video without filters
  bool video_resample = false;
  AVFrame* pict_tmp = nullptr;
  SwsContext* img_resample_ctx = nullptr;
  int resample_width = 0, resample_height = 0;
  AVPixelFormat resample_pix_fmt = AV_PIX_FMT_NONE;
  int original_width = 0, original_height = 0;
  bool video_crop = false;
  int topBand = 0, bottomBand = 0, leftBand = 0, rightBand = 0;
  int original_topBand = 0, original_bottomBand = 0, original_leftBand = 0,
      original_rightBand = 0;
  TFilterGraph filter;  // video with filters
  AVRational filter_time_base{1, AV_TIME_BASE};
  // audio
  SwrContext* resample = nullptr;
  AVSampleFormat resample_in_fmt = AV_SAMPLE_FMT_NONE;
  int resample_in_rate = 0;
  AVChannelLayout resample_in_layout{};
  AVCodecID codec_id = AV_CODEC_ID_NONE;  // kept for join mode
  bool show_fps = true;
  std::vector<AVBSFContext*> bsfs;
  // report
  int quality = 0;  // encoder quality of the last packet (lambda units)
  std::array<uint64_t, 4> error{};       // summed squared errors (PSNR)
  std::array<uint64_t, 4> frame_error{};  // of the last packet
  char pict_type = '?';
  int64_t last_size = 0;    // bytes of the last packet
  int packets = 0;          // packets written by the encoder
  double out_time = 0.0;    // seconds reached in the output
  int64_t last_mux_dts = AV_NOPTS_VALUE;  // stream copy: stream time base
};

struct TEngineMedia {
  TEngineMedia(TCustomFFmpeg& AEngine, int AMaxFiles) : engine(AEngine), max_files(AMaxFiles) {}
  ~TEngineMedia();

  TCustomFFmpeg& engine;
  const int max_files;
  TEngineOptions& o() { return engine.Options(); }

  // -- opened files (OpenInput / OpenOutput .. CleanUp)
  std::vector<std::unique_ptr<TInputFile>> inputs;
  std::vector<std::unique_ptr<TOutputFile>> outputs;  // distinct containers
  std::vector<TOutputFile*> output_files;             // the output table, nb_output_files
  AVChannelLayout input_layout{};  // channel layout of the last input's audio
  size_t new_streams_made = 0;     // entries of the option state's new_streams created

  // -- opening (engine_input.cpp, engine_output.cpp)
  bool OpenInput(const std::string& AFileName);
  int OpenOutput(const std::string& AFileName, bool AJoin);
  void NewVideoStream(TOutputFile& AFile, const TStreamSettings& ASettings);
  void NewAudioStream(TOutputFile& AFile, const TStreamSettings& ASettings);
  void NewSubtitleStream(TOutputFile& AFile, const TStreamSettings& ASettings);
  // Creates the streams that new-stream options added since the last call.
  void CreatePendingStreams();

  // -- the run tables (engine_setup.cpp)
  std::vector<std::unique_ptr<TAVInputStream>> ist_table;
  std::vector<std::unique_ptr<TAVOutputStream>> ost_table;
  void SetUpRun();
  void CloseEncoders();
  void CloseDecoders();
  void UndoRun();

  // -- the loop (engine_transcode.cpp, engine_audio.cpp, engine_video.cpp)
  void Transcode();
  // Processes one input packet, or flushes the stream's decoder (APacket null). Returns a
  // negative library code when decoding failed.
  int OutputPacket(TAVInputStream& AIst, const AVPacket* APacket);
  void ProcessReadPacket(TInputFile& AInput, AVPacket* APacket);
  void HandleDecodedFrame(TAVInputStream& AIst, AVFrame* AFrame);
  // A decoded (and deinterlaced) picture at APts microseconds goes to its output streams.
  void HandleVideoPicture(TAVInputStream& AIst, AVFrame* APicture, int64_t APts);
  void FeedVideoFilter(TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* APicture,
                       int64_t APts);
  void CopyPacket(TAVOutputStream& AOst, TAVInputStream& AIst, const AVPacket* APacket);
  // Join mode: ends segment ACurrent and moves on. True when it was the last one.
  bool SwitchSegment(int& ACurrent);
  // Seconds an output stream has reached (what the next input choice compares).
  double OutputTime(const TAVOutputStream& AOst) const;
  void SleepForNativeRate(const TAVInputStream& AIst);
  // Bitstream filter chain from filter AIndex on; a null APacket flushes.
  void FilterAndMux(TAVOutputStream& AOst, size_t AIndex, AVPacket* APacket);
  void DoAudioOut(TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* AFrame);
  void DoVideoOut(TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* AFrame,
                  int64_t APictureTime);
  void DoSubtitleOut(TAVOutputStream& AOst, TAVInputStream& AIst, AVSubtitle* ASub,
                     int64_t APts);
  void FlushEncoder(TAVOutputStream& AOst);
  // Sends AFrame (null: drain) to the stream's encoder and writes every packet it gives.
  // APicture is the picture for the post hooks (video), or null.
  void EncodeAndWrite(TAVOutputStream& AOst, AVFrame* AFrame, AVFrame* APicture);
  // Passes APacket (time stamps in the stream's time base) through the stream's bitstream
  // filters and writes it interleaved. Takes the packet's data.
  void WritePacket(TAVOutputStream& AOst, AVPacket* APacket);
  void WriteTrailers();

  // -- filters (engine_filters.cpp)
  // The graph from the input picture through cropping, scaling and the stream's filter text
  // to the encoder's pixel format; with ASetEncoderSize the encoder takes the graph's output
  // size. Throws "Error opening filters: ...".
  void ConfigureVideoFilters(TAVOutputStream& AOst, TAVInputStream& AIst, bool ASetEncoderSize);
  // The deinterlacing graph of an input stream, for pictures like AFrame (time base: 1 us).
  bool ConfigureDeinterlace(TAVInputStream& AIst, const AVFrame* AFrame);

  // -- hooks (engine_hooks.cpp)
  // Pre-processing of a (deinterlaced) decoded picture: the custom hook, video hooks. Returns
  // the picture to use: AFrame itself or hook_frame, the processed copy.
  AVFrame* PreProcess(TAVInputStream& AIst, AVFrame* AFrame, int64_t APts);
  void PostHooks(AVCodecContext* AEnc, const AVFrame* APicture, int64_t APts);
  void FreePreview();
  int hook_frame_number = 0;  // FHookFrameNumber
  AVFrame* hook_frame = nullptr;  // FHookBuf: the processed copy
  bool custom_hook_on = false;    // the custom hook is connected and not stopped
  bool video_hooks_on = false;
  TRGBConvertContext hook_context;  // FHookContext
  TRGBConvertContext post_context;  // FPostContext
  std::unique_ptr<TPreviewWindow> preview;
  int64_t last_preview = 0;  // microseconds (wall clock)
  int64_t current_preview = 0;

  // -- reports (engine_progress.cpp)
  void PrintReport(bool AIsLastReport, int AFileIndex);
  void DoVideoStats(TAVOutputStream& AOst, int AFrameSize);
  int64_t video_size = 0, audio_size = 0, extra_size = 0;  // Fvideo_size, Faudio_size, ...
  int nb_frames_dup = 0, nb_frames_drop = 0;
  bool show_dup_or_drop = false;
  int64_t timer_start = 0;
  std::array<int, 52> qp_histogram{};
  FILE* vstats_file = nullptr;

  // -- buffers reused across packets
  AVPacket* packet = nullptr;        // read from the inputs
  AVPacket* enc_packet = nullptr;    // from the encoders
  AVPacket* copy_packet = nullptr;   // stream copy: the packet as written
  AVFrame* decoded = nullptr;        // from the decoders
  AVFrame* filtered = nullptr;       // from the filter graphs
  AVFrame* audio_frame = nullptr;    // to the audio encoders
  std::vector<uint8_t> subtitle_buf;  // one encoded subtitle (1 MiB)
  bool setup_done = false;

  // -- clean-up (engine_cleanup.cpp)
  void CleanUp();
};

// Allocates a frame of AFormat and size with the library's padding; throws on failure.
AVFrame* AllocPicture(AVPixelFormat AFormat, int AWidth, int AHeight);
// Now, microseconds (av_gettime).
int64_t NowMicros();
