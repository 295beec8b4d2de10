#include "app/batch_command.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

#include "app/file_list_model.h"
#include "app/main_window.h"
#include "presets/option_code.h"
#include "settings/options_dialog.h"

namespace {

const char kUsage[] =
    "Usage: varnosk --batch --format CODE [--options CODE12] [--out DIR] [--threads N]\n"
    "                       [--overwrite] FILE|FOLDER...\n"
    "  --format CODE     output format code, 100 x (category + 1) + format (e.g. 100 = MP3)\n"
    "  --options CODE12  six two-digit option entries: resolution, video bitrate, audio\n"
    "                    bitrate, aspect, frame rate, sample rate (default: the format's)\n"
    "  --out DIR         output folder (default: the program's output folder setting)\n"
    "  --threads N       files converted at the same time, 1 to 19 (default: the setting)\n"
    "  --overwrite       overwrite existing outputs instead of numbering new names\n";

int Usage(const QString& problem) {
  std::fprintf(stderr, "varnosk: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
  return 2;
}

void Print(const QString& line) {
  std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
}

}  // namespace

int RunBatchCommand(const QStringList& AArguments) {
  std::optional<TFormatRef> format;
  std::optional<TOptionIndexes> options;
  QString out;
  int threads = 0;
  bool overwrite = false;
  QStringList inputs;
  for (qsizetype i = 0; i < AArguments.size(); ++i) {
    const QString& a = AArguments[i];
    auto value = [&](QString& into) {
      if (i + 1 >= AArguments.size())
        return false;
      into = AArguments[++i];
      return true;
    };
    QString v;
    if (a == "--format") {
      if (!value(v) || !(format = DecodeFormatCode(v.toStdString())))
        return Usage("--format needs a format code of the catalogue");
    } else if (a == "--options") {
      if (!value(v) || !(options = DecodeOptionCode(v.toStdString())))
        return Usage("--options needs twelve digits");
    } else if (a == "--out") {
      if (!value(out) || out.isEmpty())
        return Usage("--out needs a folder");
    } else if (a == "--threads") {
      bool ok = false;
      if (!value(v) || (threads = v.toInt(&ok), !ok) || threads < 1 || threads > 19)
        return Usage("--threads needs a number from 1 to 19");
    } else if (a == "--overwrite") {
      overwrite = true;
    } else if (a.startsWith("--")) {
      return Usage("unknown option " + a);
    } else {
      inputs << a;
    }
  }
  if (!format)
    return Usage("--format is required");
  if (inputs.isEmpty())
    return Usage("no input files");
  if (options && !OptionIndexesFit(format->Category, format->Format, *options))
    return Usage("--options names entries the format does not offer");
  if (!out.isEmpty()) {
    out = QFileInfo(out).absoluteFilePath();
    if (!QDir().mkpath(out))
      return Usage("cannot create the output folder " + out);
  }

  TMainWindowServices services;
  QString lastWarning;
  services.showWarning = [&](QWidget*, const QString&, const QString& text) { lastWarning = text; };
  services.chooseFolder = [](QWidget*, const QString&, const QString&) { return QString(); };
  TForm1 window(services);
  TForm5 settings(&window);
  window.SetOptionsDialog(&settings);
  if (!out.isEmpty())
    window.SetOutputFolderForRun(out);
  if (threads > 0)
    window.SetThreadCountOverride(threads);
  if (overwrite)
    window.SetOverwriteOverride(0);
  window.SelectCategory(format->Category);
  window.SelectFormat(format->Format);
  if (options)
    for (TOptionList l : kOptionCodeOrder)
      window.SetOptionIndex(l, (*options)[l]);

  int exitCode = 0;
  if (!window.PrepareAdd()) {
    Print("varnosk: " + window.mmoLog().value(window.mmoLog().size() - 1));
    return 1;
  }
  for (const QString& input : inputs) {
    const QString path = QFileInfo(input).absoluteFilePath();
    if (QFileInfo(path).isDir()) {
      const int before = window.filesModel->rowCount();
      window.AddFolderPath(path);
      if (window.filesModel->rowCount() == before) {
        Print(input + ": 在该目录没有发现可以用的视频或音频文件！");
        exitCode = 1;
      }
      continue;
    }
    if (window.AddFileRow(path) != TForm1::arSuccess) {
      QString reason;
      for (qsizetype l = window.mmoLog().size() - 1; l >= 0 && reason.isEmpty(); --l)
        if (window.mmoLog()[l].startsWith("***"))
          reason = window.mmoLog()[l].mid(3);
      Print(input + ": " + reason);
      exitCode = 1;
    }
  }
  if (window.filesModel->rowCount() == 0)
    return 1;

  window.btnStartClick();
  while (!window.RunEnded()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  QCoreApplication::processEvents();
  for (int row = 0; row < window.filesModel->rowCount(); ++row) {
    const QString progress = window.filesModel->Text(row, fcProgress);
    const QString error = window.RowError(row);
    Print(window.filesModel->Text(row, fcInputFile) + " -> " + window.FileOutPutPath() + "/" +
          window.filesModel->Text(row, fcOutputFile) + ": " +
          (error.isEmpty() ? (progress.isEmpty() ? QString("N/A") : progress) : error));
    if (progress != "100%" || !error.isEmpty())
      exitCode = 1;
  }
  return exitCode;
}
