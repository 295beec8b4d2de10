// Media files for the window tests, made with the ffmpeg tool at test time.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs ffmpeg with ARGS (quiet, overwriting); true when it succeeded.
inline bool RunFfmpeg(const QStringList& args) {
  QProcess p;
  p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
  return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A clip of ASeconds with a test picture (64x48, 25 fps) and a tone.
inline bool MakeClip(const QString& path, double seconds = 1.0) {
  const QString d = QString::number(seconds);
  return RunFfmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=" + d, "-f", "lavfi",
                    "-i", "sine=frequency=440:sample_rate=44100:duration=" + d, "-c:v", "mpeg4",
                    "-c:a", "mp2", "-shortest", path});
}

// A tone of ASeconds, audio only.
inline bool MakeTone(const QString& path, double seconds = 1.0) {
  return RunFfmpeg({"-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=44100:duration=" + QString::number(seconds), path});
}

inline bool WriteText(const QString& path, const QByteArray& text = "not media\n") {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// The codecs of a media file's streams as ffprobe names them, e.g. "mpeg4,mp3"; empty when
// ffprobe cannot read it.
inline QString ProbeCodecs(const QString& path) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", path});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed().replace('\n', ',');
}
