#include "app/progress_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

int TProgressDelegate::PercentOf(const QString& AText) {
  if (!AText.endsWith('%'))
    return -1;
  bool ok = false;
  const long long value = AText.chopped(1).toLongLong(&ok);
  if (!ok || value < 0)
    return -1;
  return value > 100 ? 100 : static_cast<int>(value);
}

void TProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data().toString();
  const int percent = PercentOf(text);
  if (percent < 0) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(1, 1, -1, -1);
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = percent;
  bar.text = text;
  bar.textVisible = true;
  bar.textAlignment = Qt::AlignCenter;
  bar.state = option.state | QStyle::State_Horizontal;
  bar.palette = option.palette;
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}
