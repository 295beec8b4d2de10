// Start-up: the application object, then the main window, the about box and the options dialog,
// then the message loop. A few command-line modes render or report without a window.
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/about_box.h"
#include "app/batch_command.h"
#include "app/engine_preview_window.h"
#include "app/snapshot_command.h"
#include "app/main_window.h"
#include "app/qt_dispatcher.h"
#include "app/screen_widget.h"
#include "app/file_list_model.h"
#include "media/player.h"
#include "media/probe_report.h"
#include "settings/options_dialog.h"

namespace {

// Renders a widget into a PNG file; returns the process exit code.
int SaveScreenshot(QWidget& widget, const QString& file) {
  widget.show();
  QApplication::processEvents();
  if (!widget.grab().save(file, "PNG")) {
    std::fprintf(stderr, "varnosk: cannot write %s\n", file.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

// Lets the preview of a selected row show its first picture (at most a few seconds).
void WaitForPreviewPicture(TForm1& AWindow) {
  QDeadlineTimer deadline(10000);
  while (!deadline.hasExpired() &&
         (!AWindow.PreviewPlayer().Paused() || AWindow.pnlScreen->DisplayImage().isNull()))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  QApplication::processEvents();
}

bool WantsOffscreen(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    QByteArray a(argv[i]);
    if (a == "--screenshot" || a == "--screenshot-options" || a == "--version" || a == "--batch" ||
        a == "--snapshot-at")
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  // A write to a closed pipe fails the one task that made it instead of ending the process.
  std::signal(SIGPIPE, SIG_IGN);

  // Modes that need no window run before the application object exists.
  if (argc >= 2 && std::strcmp(argv[1], "--probe") == 0)
    return RunProbeCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout);

  if (WantsOffscreen(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");

  QApplication app(argc, argv);
  QApplication::setApplicationName("Varnosk");
  QApplication::setApplicationDisplayName("Varnosk");
  QApplication::setApplicationVersion(VarnoskVersion());
  app.setProperty("helpFile", "help.chm");

  TQtDispatcher dispatcher;
  if (argc >= 2 && std::strcmp(argv[1], "--batch") == 0)
    return RunBatchCommand(QApplication::arguments().mid(2));
  if (argc >= 2 && std::strcmp(argv[1], "--snapshot-at") == 0)
    return RunSnapshotAtCommand(QApplication::arguments().mid(2));

  QCommandLineParser parser;
  parser.setApplicationDescription("Varnosk — 音频、视频批量格式转换");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption screenshot("screenshot", "Render the main window into FILE.png and exit.", "FILE");
  QCommandLineOption screenshotOptions("screenshot-options",
                                       "Render the options dialog into FILE.png and exit.", "FILE");
  QCommandLineOption probe("probe", "Print the information text of each FILE and exit.");
  parser.addOption(probe);
  parser.addOption(screenshot);
  parser.addOption(screenshotOptions);
  QCommandLineOption batch("batch", "Convert FILE... without a window (see --batch --help).");
  parser.addOption(batch);
  QCommandLineOption snapshotAt("snapshot-at",
                                "Write the picture at SECONDS of FILE to OUT (.bmp .jpg .gif .png).",
                                "SECONDS");
  parser.addOption(snapshotAt);
  parser.addPositionalArgument("FILE", "With --screenshot: files to add; the first is selected.");
  parser.process(app);

  // The windows in their order: the main window, the about box, the options dialog (which
  // loads its settings as it is created).
  TAboutBox* aboutBox = nullptr;
  TMainWindowServices services;
  services.showAbout = [&aboutBox](QWidget*) {
    if (aboutBox)
      aboutBox->exec();
  };
  InstallQtPreviewWindows();
  TForm1 mainWindow(services);
  TAboutBox about(&mainWindow);
  aboutBox = &about;
  TForm5 options(&mainWindow);
  mainWindow.SetOptionsDialog(&options);

  if (parser.isSet(screenshot)) {
    QStringList files;
    for (const QString& f : parser.positionalArguments())
      files << QFileInfo(f).absoluteFilePath();
    if (!files.isEmpty() && mainWindow.PrepareAdd()) {
      mainWindow.AddFileList(files);
      mainWindow.SelectRow(mainWindow.filesModel->rowCount() - 1);  // opens the preview
      WaitForPreviewPicture(mainWindow);
    }
    return SaveScreenshot(mainWindow, parser.value(screenshot));
  }
  if (parser.isSet(screenshotOptions))
    return SaveScreenshot(options, parser.value(screenshotOptions));

  mainWindow.show();
  return app.exec();
}
