// Actions that leave the program: opening folders, web pages and mail links in the desktop's
// handlers. Injectable so tests open nothing.
#pragma once

#include <QString>

class TShellLauncher {
public:
  virtual ~TShellLauncher() = default;
  // Opens a local folder or file path, or a URL ("https:", "mailto:"). Failures are not reported.
  virtual void Open(const QString& target) = 0;
};

// Opens through the desktop (xdg-open behind QDesktopServices).
class TDesktopShellLauncher : public TShellLauncher {
public:
  void Open(const QString& target) override;
};

// The maker's web page and support address the help menu opens.
extern const char* const kMakerWebAddress;
extern const char* const kSupportMailAddress;
