// Draws the file list's progress column as a bar behind its percentage text.
#pragma once

#include <QStyledItemDelegate>

class TProgressDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  // The percentage a progress text shows ("37%" gives 37, capped at 100), or -1 for none.
  static int PercentOf(const QString& AText);
};
