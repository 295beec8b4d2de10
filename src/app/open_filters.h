// The file-type filter of the two open-file dialogs.
#pragma once

#include <QString>
#include <QStringList>

// The filter text as one string: display|patterns|display|patterns|... ending with "|".
QString OpenFilterText();

// The same filter in Qt's syntax, one entry per display text: the display text is kept as it
// stands and, unless it already ends with exactly its patterns in parentheses, followed by the
// patterns in parentheses separated by blanks ("Real视频文件格式 (*.rm;*.rmvb) (*.rm *.rmvb)").
QStringList OpenNameFilters();

// Converts a display|patterns|... text into Qt name filters as described above.
QStringList ToQtNameFilters(const QString& filterText);
