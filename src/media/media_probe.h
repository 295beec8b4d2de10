// The media probe: opens a media file with libavformat and answers questions about it (size,
// duration, formats, metadata, streams), with a multi-line information text in the manner of the
// library's format dump. TMediaProbe adds seeking, decoding of single video frames and copying
// a decoded frame into a bitmap.
//
// A probe is used by one thread at a time. Errors and warnings go to the logger (with the probe
// as sender) and into LastErrMsg.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/bitmap.h"
#include "media/ffmpeg_loader.h"
#include "media/ffutils.h"
#include "media/logger.h"
#include "media/rgb_convert.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;

struct TFileStreamInfo {
  int64_t StartTime = -1;  // microseconds
  int64_t Duration = -1;   // microseconds
  int64_t BitRate = -1;    // bit/s
  int64_t TimeStamp = -1;  // seconds since 1970-01-01 UTC
  int Year = -1;
  int Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;        // stream time-base units
  int64_t StartTimeScaled = -1;  // microseconds
  int64_t Duration = -1;         // stream time-base units
  int64_t DurationScaled = -1;   // microseconds
  int64_t BitRate = -1;
  int Channels = -1;
  int SampleRate = -1;
  int SampleFormat = -1;  // the library's sample-format number
};

struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;
  int64_t StartTimeScaled = -1;
  int64_t Duration = -1;
  int64_t DurationScaled = -1;
  int64_t BitRate = -1;
  int Height = -1;
  int Width = -1;
  float AspectRatio = -1.0f;  // display aspect ratio
  int PixFmt = -1;            // the library's pixel-format number
  TAVRational FrameRate{-1, -1};  // the stream's real base frame rate
};

struct TSubtitleStreamInfo {
  std::string Language;
  std::string CodecName;
};

class TCustomMediaProbe {
public:
  TCustomMediaProbe();
  virtual ~TCustomMediaProbe();
  TCustomMediaProbe(const TCustomMediaProbe&) = delete;
  TCustomMediaProbe& operator=(const TCustomMediaProbe&) = delete;

  bool AVLibLoaded() const;
  bool LoadAVLib(const std::string& APath);
  void UnloadAVLib();

  // Opens and analyses a file; an empty AFormatName detects the format. Throws
  // std::runtime_error ("LibAVCodec not loaded." ...) when a library of the probe's set is not
  // loaded; other failures return false with LastErrMsg set and leave the probe closed.
  bool LoadFile(const std::string& AFileName, const std::string& AFormatName = "");
  // Closes the file (only a context the probe opened itself) and resets all fields.
  virtual void CloseFile();

  // A format context opened elsewhere, or nullptr. Writing one closes the current file, takes
  // the context without owning it (the caller closes it after the probe lets go) and refreshes
  // the counts.
  AVFormatContext* FileHandle() const { return file_handle_; }
  void SetFileHandle(AVFormatContext* AHandle);
  bool OwnHandle() const { return own_handle_; }

  std::string FileName() const;
  int64_t FileSize() const { return file_size_; }
  const std::string& ForceFormat() const { return force_format_; }
  std::string FormatName() const;
  std::string FormatLongName() const;
  int StreamCount() const { return stream_count_; }
  int ProgramCount() const { return program_count_; }
  int AudioStreamCount() const { return audio_stream_count_; }
  int VideoStreamCount() const { return video_stream_count_; }
  int SubtitleStreamCount() const { return subtitle_stream_count_; }
  int FirstAudioStreamIndex() const { return first_audio_index_; }
  int FirstVideoStreamIndex() const { return first_video_index_; }
  int FirstSubtitleStreamIndex() const { return first_subtitle_index_; }

  TFileStreamInfo FileStreamInfo();
  // Lines ended by "\n"; empty (and warning "file not loaded.") without a file.
  std::string FileInfoText();

  // AStreamIndex -1 means the first stream of the kind. Failures leave the record at its
  // initial values and set LastErrMsg.
  bool GetAudioStreamInfo(int AStreamIndex, TAudioStreamInfo& AInfo);
  bool GetVideoStreamInfo(int AStreamIndex, TVideoStreamInfo& AInfo);
  bool GetSubtitleStreamInfo(int AStreamIndex, TSubtitleStreamInfo& AInfo);
  TAudioStreamInfo FirstAudioStreamInfo();
  TVideoStreamInfo FirstVideoStreamInfo();
  TSubtitleStreamInfo FirstSubtitleStreamInfo();

  bool IsAudioStream(int AStreamIndex);
  bool IsVideoStream(int AStreamIndex);
  bool IsSubtitleStream(int AStreamIndex);

  const std::string& LastErrMsg() const { return last_err_msg_; }

protected:
  // Stores the text in LastErrMsg and logs it at the given library log level.
  void Report(int ALibraryLevel, const std::string& AMsg);
  void ReportFmt(int ALibraryLevel, const char* AFormat, ...) __attribute__((format(printf, 3, 4)));
  bool RequireFile();  // false with warning "file not loaded." when no file is open
  // Checks an explicit or first (-1) stream of a kind; returns the index or -1 after reporting.
  int CheckStream(int AStreamIndex, int AMediaType);
  virtual void RefreshFields();
  std::string StreamLine(int AIndex);

  AVFormatContext* file_handle_ = nullptr;
  bool own_handle_ = false;
  std::string last_err_msg_;
  std::string force_format_;
  int64_t file_size_ = -1;
  int stream_count_ = -1;
  int program_count_ = -1;
  int audio_stream_count_ = -1;
  int video_stream_count_ = -1;
  int subtitle_stream_count_ = -1;
  int first_audio_index_ = -1;
  int first_video_index_ = -1;
  int first_subtitle_index_ = -1;
};

struct TFrameInfo {
  int PixFmt = -1;
  int Width = -1;
  int Height = -1;
  bool IsKeyFrame = false;
  TPictureType PictureType = ptUnknown;
  int64_t PTS = NoTimeStamp;          // microseconds from the stream start
  int64_t OriginalDTS = NoTimeStamp;  // stream units
  int64_t OriginalPTS = NoTimeStamp;  // stream units
  int StreamIndex = -1;
  int64_t Position = -1;  // byte position of the reader before the picture's packets were read
  bool Ready = false;
  TPicture Picture;       // laid over Buffer
  uint8_t* Buffer = nullptr;
  int Size = 0;           // capacity of Buffer in bytes
};

class TMediaProbe : public TCustomMediaProbe {
public:
  TMediaProbe();
  ~TMediaProbe() override;

  void CloseFile() override;

  // APTS in microseconds (a byte position with sfByte); negative counts as 0. Throws
  // std::runtime_error "file cannot be seeked, handle is readonly." for a handed-in context.
  bool Seek(int64_t APTS, TSeekFlags ASeekFlags = 0);
  // -1: the current decode stream, else the first video stream.
  bool Decode(int AStreamIndex = -1);
  bool DecodeNextKeyFrame(int AStreamIndex = -1);
  bool DecodePreviousFrame(int AStreamIndex = -1);
  bool DecodePreviousKeyFrame(int AStreamIndex = -1);
  // The ready picture as a 24-bit bitmap of its size; false (and a black bitmap) on failure.
  bool CopyToBitmap(TBitmap24& ABitmap);

  bool Eof() const { return eof_; }  // the EOF property (EOF itself is a C macro)
  const TFrameInfo& FrameInfo() const { return frame_info_; }
  int64_t LastPTS() const { return last_pts_; }
  int64_t LastPos() const { return last_pos_; }
  int SeekIndex() const { return seek_index_; }
  int64_t StartTime() const { return start_time_; }  // of the seek stream, in its time base
  int DecodeIndex() const { return decode_index_; }
  // The reader's byte position, -1 (with a warning) without a file or reader.
  int64_t Position();

  AVCodecContext* Codec() const { return codec_; }
  TRGBConvertContext& RGBContext() { return rgb_context_; }

private:
  void RefreshFields() override;
  void ResetFrameInfo();
  void CloseDecoder();
  int ChooseDecodeStream(int AStreamIndex);
  bool OpenDecoder(int AStreamIndex);
  bool FillFrameInfo(const AVFrame* AFrame, int64_t APosition);  // false when out of memory
  int64_t FrameDuration(int AStreamIndex) const;
  int64_t ReaderPosition() const;  // -1 without a reader
  bool DecodeKeyFrameBefore(int AStreamIndex);

  AVCodecContext* codec_ = nullptr;
  int codec_stream_ = -1;    // the stream codec_ was opened for
  bool draining_ = false;    // the reader ended; the decoder is handing out its last pictures
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  TRGBConvertContext rgb_context_;
  int seek_index_ = -1;
  int64_t start_time_ = 0;  // of the seek stream, in its time base
  int decode_index_ = -1;
  bool eof_ = false;
  TFrameInfo frame_info_;
  int64_t last_pts_ = NoTimeStamp;
  int64_t last_pos_ = -1;
};
