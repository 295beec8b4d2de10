#include "app/shell.h"

#include <QDesktopServices>
#include <QUrl>

const char* const kMakerWebAddress = "https://varnosk.org/";
const char* const kSupportMailAddress = "support@varnosk.org";

void TDesktopShellLauncher::Open(const QString& target) {
  QUrl url(target);
  if (url.scheme().isEmpty() || target.startsWith('/'))
    url = QUrl::fromLocalFile(target);
  QDesktopServices::openUrl(url);
}
