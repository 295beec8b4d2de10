// The media work of the engine in its first form: a task's inputs are copied byte for byte,
// one after another, into each of its outputs. It has the member functions and the behaviour
// around them that the FFmpeg-based work keeps (inputs opened when added, outputs created
// when set, one loop turn per chunk with the stop and pause checks at its top, rate-limited
// progress reports and a final one, failures raised as exceptions, empty outputs deleted by
// the clean-up), so the control side and the task manager run real conversions now. The
// FFmpeg-based work replaces this whole file.
//
// Progress values: CurrentSize is the bytes written to the first output; durations are
// proportional to bytes, as for a constant-rate stream of 128 kbit/s; there is no video, so
// frame number, fps and quality are -1.
#include "media/engine.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/ffutils.h"

namespace {

constexpr size_t kChunkSize = 64 * 1024;
constexpr int64_t kBytesPerSecond = 16000;
// Names of this form are served by a stream layer the application would register; without
// one they are refused as an unknown protocol, never taken for file names.
constexpr char kStreamPrefix[] = "stream:";

int64_t BytesToDuration(int64_t ABytes) { return ABytes * 1000000 / kBytesPerSecond; }

int64_t NowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// AName, ": " and the system's text for the current errno (thread-safe).
std::string SystemErrorText(const std::string& AName) {
  return AName + ": " + std::error_code(errno, std::generic_category()).message();
}

bool IsStreamName(const std::string& AName) { return AName.rfind(kStreamPrefix, 0) == 0; }

}  // namespace

struct TEngineMedia {
  struct TInput {
    std::string name;
    int fd = -1;
    int64_t size = -1;  // bytes, -1 when unknown (not a regular file)
    dev_t dev = 0;
    ino_t ino = 0;
  };
  struct TOutput {
    std::string name;
    int fd = -1;
    int64_t written = 0;
  };

  ~TEngineMedia() { CloseAll(); }

  void CloseAll() {
    for (TInput& in : inputs)
      if (in.fd >= 0) {
        ::close(in.fd);
        in.fd = -1;
      }
    for (TOutput& out : outputs)
      if (out.fd >= 0) {
        ::close(out.fd);
        out.fd = -1;
      }
  }

  std::vector<TInput> inputs;
  std::vector<TOutput> outputs;  // distinct output files
  int output_entries = 0;        // nb_output_files: in join mode the output counts once per input
  std::vector<char> buffer;
};

TEngineMedia* NewEngineMedia(int) { return new TEngineMedia(); }

void TEngineMediaDeleter::operator()(TEngineMedia* AMedia) const { delete AMedia; }

int TCustomFFmpeg::InputCount() const { return static_cast<int>(media_->inputs.size()); }

int TCustomFFmpeg::OutputCount() const { return media_->output_entries; }

bool TCustomFFmpeg::OpenInput(const std::string& AFileName) {
  TEngineMedia& m = *media_;
  if (InputCount() >= MaxFiles()) {
    last_err_msg_ = "max input files " + std::to_string(MaxFiles()) + " reached";
    return false;
  }
  if (IsStreamName(AFileName)) {
    last_err_msg_ = ErrorText(AFileName, AVERROR_PROTOCOL_NOT_FOUND);
    return false;
  }
  int fd = ::open(AFileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    last_err_msg_ = ErrorText(AFileName, AVERROR(errno));
    return false;
  }
  struct stat st {};
  int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (err != 0) {
    ::close(fd);
    last_err_msg_ = ErrorText(AFileName, AVERROR(err));
    return false;
  }
  int64_t size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
  m.inputs.push_back({AFileName, fd, size, st.st_dev, st.st_ino});
  // Without join the expected duration is that of the longest input.
  if (size >= 0 && BytesToDuration(size) > total_output_duration_)
    total_output_duration_ = BytesToDuration(size);
  return true;
}

int TCustomFFmpeg::OpenOutput(const std::string& AFileName, bool AJoin) {
  TEngineMedia& m = *media_;
  if (join_mode_) {
    last_err_msg_ = "Cannot join more than one output file.";
    return -1;
  }
  if (OutputCount() >= MaxFiles()) {
    last_err_msg_ = "max output files " + std::to_string(MaxFiles()) + " reached";
    return -1;
  }
  if (IsStreamName(AFileName)) {
    last_err_msg_ = ErrorText(AFileName, AVERROR_PROTOCOL_NOT_FOUND);
    return -1;
  }
  // Creating the output truncates it: never do that to a file this task reads.
  struct stat st {};
  if (::stat(AFileName.c_str(), &st) == 0)
    for (size_t i = 0; i < m.inputs.size(); ++i)
      if (m.inputs[i].dev == st.st_dev && m.inputs[i].ino == st.st_ino) {
        last_err_msg_ = AFileName + ": the output is the same file as input #" + std::to_string(i);
        return -1;
      }
  int fd = ::open(AFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    last_err_msg_ = ErrorText(AFileName, AVERROR(errno));
    return -1;
  }
  m.outputs.push_back({AFileName, fd, 0});
  ++m.output_entries;
  if (AJoin && m.inputs.size() > 1) {
    join_mode_ = true;
    int64_t total = 0;
    for (const auto& in : m.inputs)
      if (in.size > 0)
        total += BytesToDuration(in.size);
    total_output_duration_ = total == 0 ? -1 : total;
    m.output_entries += static_cast<int>(m.inputs.size()) - 1;
  }
  return m.output_entries;
}

void TCustomFFmpeg::Transcode() {
  TEngineMedia& m = *media_;
  m.buffer.resize(kChunkSize);
  const int64_t start = NowNanos();
  int64_t last_report = start;
  int64_t copied = 0;
  size_t current = 0;  // the input being read

  auto report = [&](int file_index) {
    int64_t size = m.outputs.empty() ? 0 : m.outputs[0].written;
    int64_t duration = BytesToDuration(copied);
    double seconds = std::max(static_cast<double>(duration) / 1e6, 0.01);
    auto bitrate = static_cast<float>(static_cast<double>(size) * 8 / seconds / 1000);
    RaiseProgress(file_index, -1, -1, -1.0f, bitrate, size, duration, total_output_duration_);
  };

  while (CheckContinue() && current < m.inputs.size()) {
    TEngineMedia::TInput& in = m.inputs[current];
    ssize_t got = ::read(in.fd, m.buffer.data(), m.buffer.size());
    if (got < 0) {
      if (errno == EINTR)
        continue;
      throw std::runtime_error(SystemErrorText(in.name));
    }
    if (got == 0) {
      ++current;
      continue;
    }
    for (TEngineMedia::TOutput& out : m.outputs) {
      const char* data = m.buffer.data();
      size_t left = static_cast<size_t>(got);
      while (left > 0) {
        ssize_t put = ::write(out.fd, data, left);
        if (put < 0) {
          if (errno == EINTR)
            continue;
          throw std::runtime_error(SystemErrorText(out.name));
        }
        data += put;
        left -= static_cast<size_t>(put);
        out.written += put;
      }
    }
    copied += got;
    int64_t now = NowNanos();
    if (now - last_report > ReportInterval * 1000) {
      report(static_cast<int>(current));
      last_report = now;
    }
  }
  report(-1);
  finished_ = !broken_;
}

void TCustomFFmpeg::CloseEncoders() {
  std::string error;
  for (TEngineMedia::TOutput& out : media_->outputs)
    if (out.fd >= 0) {
      if (::close(out.fd) != 0 && error.empty())
        error = SystemErrorText(out.name);
      out.fd = -1;
    }
  if (!error.empty())
    throw std::runtime_error(error);
}

void TCustomFFmpeg::CloseDecoders() {
  for (TEngineMedia::TInput& in : media_->inputs)
    if (in.fd >= 0) {
      ::close(in.fd);
      in.fd = -1;
    }
}

void TCustomFFmpeg::CleanUp() {
  TEngineMedia& m = *media_;
  m.CloseAll();
  for (const TEngineMedia::TOutput& out : m.outputs) {
    struct stat st {};
    if (::stat(out.name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
      ::unlink(out.name.c_str());
  }
  m.inputs.clear();
  m.outputs.clear();
  m.output_entries = 0;
  std::vector<char>().swap(m.buffer);
}
