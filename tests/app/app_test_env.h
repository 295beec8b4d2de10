// Test fixtures of the window tests: a private program folder and home folder per test, and
// fakes for everything that would leave the process.
#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "app/screen_widget.h"
#include "app/shell.h"

// Records what would have been opened instead of opening it.
class TRecordingShell : public TShellLauncher {
public:
  void Open(const QString& target) override { opened << target; }
  QStringList opened;
};

// Points VARNOSK_HOME and HOME at fresh temporary folders for its lifetime.
class TTestHome {
public:
  TTestHome() {
    oldHome_ = qgetenv("HOME");
    qputenv("VARNOSK_HOME", program.path().toUtf8());
    qputenv("HOME", home.path().toUtf8());
  }
  ~TTestHome() {
    qunsetenv("VARNOSK_HOME");
    qputenv("HOME", oldHome_);
  }
  QString IniPath() const { return program.path() + "/option.ini"; }

  QTemporaryDir program;
  QTemporaryDir home;

private:
  QByteArray oldHome_;
};
