// The option state of one per-task engine: every setting the option language (ParseOption)
// writes, with its reset value, and the generic option store that keeps library options set
// by name (SetDefaultOption) until streams, containers and scalers are created from them.
//
// Threads: the state is written on the caller's (main) thread while the task is filled, and
// read by the engine's worker once the run has started; the start of the worker orders the
// two, so nothing here is locked.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
}

struct AVCodecContext;
struct AVDictionary;
struct AVFormatContext;
struct SwsContext;

// Media kinds in the libraries' order (AVMEDIA_TYPE_VIDEO ... AVMEDIA_TYPE_ATTACHMENT).
enum TMediaKind { mkVideo, mkAudio, mkData, mkSubtitle, mkAttachment };
inline constexpr int MediaKindCount = 5;

// Streams per file the engine's tables have room for.
inline constexpr int MaxStreams = 20;

struct TAVStreamMap {
  int file_index = 0;
  int stream_index = 0;
  int sync_file_index = 0;
  int sync_stream_index = 0;
};

struct TAVMetaDataMap {
  int out_file = 0;
  int in_file = 0;
};

// A bitstream filter waiting for the next stream of its kind: the library's filter name and
// the text after the first "=" of the option value (empty when there was none).
struct TBitstreamFilterSpec {
  std::string name;
  std::string args;
};

// The settings one output stream takes when it is created. Taking them resets the per-stream
// part of the engine's state (codec name, stream copy, language, pixel format, pending
// bitstream filters), so the next stream of the kind starts from the defaults.
struct TStreamSettings {
  TMediaKind kind = mkVideo;
  int output_index = -1;       // output file the stream belongs to
  std::string codec_name;      // empty: the format's default encoder
  bool stream_copy = false;
  std::string language;        // empty: no "language" metadata
  uint32_t codec_tag = 0;      // 0: none
  std::vector<TBitstreamFilterSpec> bitstream_filters;
  // video only
  int frame_width = 0;
  int frame_height = 0;
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  std::string vfilters;
};

// The engine's option state. Field names follow the option language's own (frame_width,
// audio_codec_name, ...). Reset values are those of a new engine.
struct TEngineOptions {
  explicit TEngineOptions(int AMaxFiles);
  // Back to the reset values (tables keep their sizes).
  void Reset();
  int MaxFiles() const { return static_cast<int>(input_ts_scale.size()); }

  // Takes the per-stream settings of AKind for a stream of output AOutputIndex and resets
  // them (codec name, stream copy, language, pixel format for video, pending bitstream
  // filters). AKind mkData and mkAttachment have no such settings.
  TStreamSettings TakeStreamSettings(TMediaKind AKind, int AOutputIndex);
  // Resets the settings that apply to one input: the format request, the forced decoder
  // names (the codec names of the three kinds) and the video channel. Called once an input
  // has been opened or has failed to open.
  void ResetInputSettings();
  // Resets what applies to one output once it has been created (or failed to be): the
  // format request, the stream identifier map, the metadata list (moved onto the container)
  // and the per-stream settings of the streams created with it.
  void ResetOutputSettings();

  // -- containers and times
  std::string format_name;            // "f": for the next input or output, empty = guess
  bool pgmyuv_compatibility_hack = false;
  int64_t recording_time = INT64_MAX;  // microseconds, INT64_MAX = unlimited
  int64_t start_time = 0;              // microseconds
  int64_t input_ts_offset = 0;         // microseconds
  int64_t rec_timestamp = 0;           // seconds since 1970 UTC, 0 = none
  int64_t limit_filesize = 0;          // bytes, 0 = none
  int opt_programid = 0;               // 0 = any program
  int video_channel = 0;
  std::string video_standard;
  bool loop_input = false;
  int loop_output = -1;  // -1 = no output loop
  double mux_preload = 0.5;    // seconds
  double mux_max_delay = 0.7;  // seconds
  // Time-stamp scale per stream of each input slot (MaxFiles rows of MaxStreams), 0 = none.
  std::vector<std::array<double, MaxStreams>> input_ts_scale;
  // Metadata of the next output, in the order given.
  std::vector<std::pair<std::string, std::string>> metadata;
  std::vector<TAVStreamMap> stream_maps;       // at most MaxFiles * MaxStreams
  std::vector<TAVMetaDataMap> meta_data_maps;  // at most MaxFiles
  // Stream identifier of the n-th stream of the next output, 0 = the library's choice.
  std::array<int, MaxStreams> streamid_map{};

  // -- video
  int frame_width = 0;
  int frame_height = 0;
  double frame_aspect_ratio = 0.0;  // 0 = none
  AVPixelFormat frame_pix_fmt = AV_PIX_FMT_NONE;
  AVRational frame_rate{0, 0};  // {0, 0} = not set
  int frame_topBand = 0;
  int frame_bottomBand = 0;
  int frame_leftBand = 0;
  int frame_rightBand = 0;
  float video_qscale = 0.0f;  // 0 = none
  // 64 coefficients each when set, empty when not.
  std::vector<uint16_t> intra_matrix;
  std::vector<uint16_t> inter_matrix;
  std::string video_rc_override_string;
  bool video_disable = false;
  int video_discard = 0;
  std::string video_codec_name;
  bool video_stream_copy = false;
  uint32_t video_codec_tag = 0;
  std::string video_language;
  bool same_quality = false;
  bool do_deinterlace = false;
  bool intra_only = false;
  bool do_psnr = false;
  bool qp_hist = false;
  bool force_fps = false;
  int top_field_first = -1;  // -1 = automatic
  int me_threshold = 0;
  int intra_dc_precision = 8;
  int do_pass = 0;  // 0, 1 or 2
  std::string pass_logfilename_prefix;
  std::string vstats_filename;
  std::string vfilters;
  int video_global_header = 0;
  int video_sync_method = -1;  // -1 = automatic

  // -- audio
  int audio_sample_rate = 44100;
  int audio_channels = 2;
  AVSampleFormat audio_sample_fmt = AV_SAMPLE_FMT_NONE;
  float audio_qscale = -99999.0f;  // -99999 = none
  bool audio_disable = false;
  std::string audio_codec_name;
  bool audio_stream_copy = false;
  uint32_t audio_codec_tag = 0;
  std::string audio_language;
  int audio_volume = 256;  // 256 = unchanged
  int audio_sync_method = 0;
  double audio_drift_threshold = 0.1;

  // -- subtitles
  bool subtitle_disable = false;
  std::string subtitle_codec_name;
  bool subtitle_stream_copy = false;
  uint32_t subtitle_codec_tag = 0;
  std::string subtitle_language;

  // -- the run
  // Maximum frames per media kind (video, audio, data, subtitle).
  std::array<int, 4> max_frames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};
  bool copy_ts = false;
  bool opt_shortest = false;
  bool exit_on_error = false;
  bool rate_emu = false;
  bool do_pkt_dump = false;
  bool do_hex_dump = false;
  bool input_sync = false;
  int copy_initial_nonkeyframes = 0;
  double dts_delta_threshold = 10.0;
  int thread_count = 1;
  int sws_flags = 4;  // bicubic
  int bit_buffer_size = 262144;

  // Bitstream filters for the next stream of each kind (video, audio, subtitle).
  std::vector<TBitstreamFilterSpec> video_bitstream_filters;
  std::vector<TBitstreamFilterSpec> audio_bitstream_filters;
  std::vector<TBitstreamFilterSpec> subtitle_bitstream_filters;

  // Streams added to outputs by newvideo / newaudio / newsubtitle, in the order given, each
  // with the settings it took; the media work creates the library stream of each on its
  // output (output_index).
  std::vector<TStreamSettings> new_streams;

  // Frame rates of the video streams of the opened inputs, in input and stream order (the
  // inverse of each decoder's time base); the media work appends them as inputs open. The
  // target presets detect the norm from them.
  std::vector<AVRational> input_video_rates;
};

// The generic option store: library options set by name, kept in option contexts of the
// libraries (one codec context per media kind, one container context, one scaler context)
// and copied by name onto the real contexts when streams are created.
class TFFOptions {
public:
  // Allocates the contexts; ASwsFlags goes to the scaler context. Throws std::runtime_error
  // when the libraries cannot allocate them.
  explicit TFFOptions(int ASwsFlags);
  ~TFFOptions();
  TFFOptions(const TFFOptions&) = delete;
  TFFOptions& operator=(const TFFOptions&) = delete;

  // The encoders whose private options SetDefaultOption may set (names as the option
  // language holds them; empty or "copy": none), and the container format.
  struct TChoice {
    std::string video_codec;
    std::string audio_codec;
    std::string subtitle_codec;
    std::string format;
  };

  // Sets a library option by name on every context that has it: the generic codec options
  // of each media kind (by the kind's flag), else the chosen encoders' private options, else
  // the container's (generic, then the chosen muxer's private ones), else the scaler's; a
  // name not found anywhere is tried without a leading "a", "v" or "s" on that kind's codec
  // context. True when the option exists and took the value; a refused value logs
  // "Invalid value ..." at error level through the library log.
  bool SetDefaultOption(const std::string& AName, const std::string& AValue,
                        const TChoice& AChoice);

  // Names of the options set so far, each once, in the order first set.
  const std::vector<std::string>& opt_names() const { return opt_names_; }
  int opt_name_count() const { return static_cast<int>(opt_names_.size()); }

  AVCodecContext* avcodec_opts(TMediaKind AKind) const { return avcodec_opts_[AKind]; }
  AVFormatContext* avformat_opts() const { return avformat_opts_; }
  SwsContext* sws_opts() const { return sws_opts_; }
  // Private options recorded for the encoders of a kind / the muxer (owned by the store).
  const AVDictionary* private_opts(TMediaKind AKind) const { return private_opts_[AKind]; }
  const AVDictionary* format_private_opts() const { return format_private_opts_; }

  // Copies the recorded options onto ACtx: each set name whose option carries AKind's flag
  // and the encoding (AEncoder) or decoding flag, with the value held by AKind's context.
  // With APrivate, the private options recorded for AKind are added to *APrivate for
  // avcodec_open2 (the caller frees it). Returns the number of options copied.
  int CopyCodecOptions(AVCodecContext* ACtx, TMediaKind AKind, bool AEncoder,
                       AVDictionary** APrivate) const;
  // The same for a container (options with the encoding or decoding flag) and its muxer's
  // private options.
  int CopyFormatOptions(AVFormatContext* ACtx, bool AOutput, AVDictionary** APrivate) const;

  // The scaler flags now held by the scaler context.
  int SwsFlags() const;

  // A store holding the same options (to put back after a refused record).
  std::unique_ptr<TFFOptions> Clone() const;

private:
  void NoteName(const char* AName);
  void Release();

  AVCodecContext* avcodec_opts_[MediaKindCount] = {};
  AVFormatContext* avformat_opts_ = nullptr;
  SwsContext* sws_opts_ = nullptr;
  AVDictionary* private_opts_[MediaKindCount] = {};
  AVDictionary* format_private_opts_ = nullptr;
  std::vector<std::string> opt_names_;
};
