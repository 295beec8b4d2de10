#include "app/file_list_model.h"

namespace {

const TFileColumnInfo kColumns[fcColumnCount] = {
    {"输入文件", 80},  {"视频时间", 70},  {"文件大小", 70},  {"输出文件", 80},  {"转换进度", 70},
    {"", 0},           {"当前时间", 80},  {"转换大小", 80},  {"视频序号", 0},   {"视频类别", 0},
    {"视频选项", 0},   {"视频编码", 0},   {"音频编码", 0},   {"声音频道", 0},   {"VideoTag", 0},
    {"FileExt", 0},    {"视频分辨率", 0}, {"视频比特率", 0}, {"视频帧率", 0},   {"音频比特率", 0},
    {"音频采样率", 0}, {"视频缩放", 0},   {"视频能否", 0},   {"TargetType", 0}, {"NormType", 0},
};

}  // namespace

const TFileColumnInfo& FileColumnInfo(int AColumn) { return kColumns[AColumn]; }

TFileListModel::TFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TFileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TFileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : fcColumnCount;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
    return {};
  return Text(index.row(), index.column());
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= fcColumnCount)
    return {};
  return QString::fromUtf8(kColumns[section].Caption);
}

QString TFileListModel::Text(int ARow, int AColumn) const {
  if (ARow < 0 || ARow >= rowCount() || AColumn < 0 || AColumn >= fcColumnCount)
    return {};
  return rows_[ARow].Texts[AColumn];
}

void TFileListModel::SetText(int ARow, int AColumn, const QString& AText) {
  if (ARow < 0 || ARow >= rowCount() || AColumn < 0 || AColumn >= fcColumnCount)
    return;
  if (rows_[ARow].Texts[AColumn] == AText)
    return;
  rows_[ARow].Texts[AColumn] = AText;
  QModelIndex cell = index(ARow, AColumn);
  emit dataChanged(cell, cell);
}

int TFileListModel::AppendRow(const QStringList& ATexts, const TInputOptions& AIO,
                              const TOutputOptions& AOO) {
  QStringList row = ATexts.mid(0, fcColumnCount);
  while (row.size() < fcColumnCount)
    row << QString();
  const int at = rowCount();
  beginInsertRows({}, at, at);
  rows_.push_back(TRow{row, AIO, AOO});
  endInsertRows();
  return at;
}

void TFileListModel::RemoveRow(int ARow) {
  if (ARow < 0 || ARow >= rowCount())
    return;
  beginRemoveRows({}, ARow, ARow);
  rows_.erase(rows_.begin() + ARow);
  endRemoveRows();
}

void TFileListModel::MoveRow(int AFrom, int ATo) {
  if (AFrom < 0 || AFrom >= rowCount() || ATo < 0 || ATo >= rowCount() || AFrom == ATo)
    return;
  // Qt counts the destination before the move: moving down targets the row after ATo.
  beginMoveRows({}, AFrom, AFrom, {}, ATo > AFrom ? ATo + 1 : ATo);
  TRow row = std::move(rows_[AFrom]);
  rows_.erase(rows_.begin() + AFrom);
  rows_.insert(rows_.begin() + ATo, std::move(row));
  endMoveRows();
}

void TFileListModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}
