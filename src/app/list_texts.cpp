#include "app/list_texts.h"

#include <QLocale>
#include <cmath>

QString SecToDate(int64_t Sec) {
  if (Sec < 0)
    Sec = 0;
  const int64_t seconds = Sec % 60;
  const int64_t minutes = (Sec / 60) % 60;
  const int64_t hours = (Sec / 3600) % 24;
  return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(hours),
                           static_cast<long long>(minutes), static_cast<long long>(seconds));
}

QString SizeToMBText(int64_t Bytes) {
  const double megabytes = std::round(static_cast<double>(Bytes) / 1024.0 / 1024.0 * 100.0) / 100.0;
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  QString text = locale.toString(megabytes, 'f', 2);  // always two decimals here
  while (text.endsWith('0'))
    text.chop(1);
  if (text.endsWith(locale.decimalPoint()))
    text.chop(locale.decimalPoint().size());
  return text + "MB";
}
