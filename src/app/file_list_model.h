// The rows of the file list: one per input file, 25 text columns, of which 17 are hidden and
// carry what the run needs to rebuild the file's conversion task.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "media/option_records.h"

enum TFileColumn {
  fcInputFile = 0,      // "输入文件": full input path
  fcDuration = 1,       // "视频时间"
  fcSize = 2,           // "文件大小"
  fcOutputFile = 3,     // "输出文件": output file name without folder
  fcProgress = 4,       // "转换进度"
  fcFPS = 5,            // hidden
  fcCurrentTime = 6,    // "当前时间"
  fcCurrentSize = 7,    // "转换大小"
  fcTaskNumber = 8,     // hidden from here on
  fcFormatCode = 9,
  fcOptionCode = 10,
  fcVideoCodec = 11,
  fcAudioCodec = 12,
  fcChannels = 13,
  fcVideoTag = 14,
  fcFileExt = 15,
  fcFrameSize = 16,
  fcVideoBitrate = 17,
  fcFrameRate = 18,
  fcAudioBitrate = 19,
  fcSampleRate = 20,
  fcAspect = 21,
  fcNoVideo = 22,
  fcTargetType = 23,
  fcNormType = 24,
  fcColumnCount = 25
};

struct TFileColumnInfo {
  const char* Caption;
  int Width;  // 0: hidden, cannot be widened
};
const TFileColumnInfo& FileColumnInfo(int AColumn);

class TFileListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  explicit TFileListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Row texts. Text() of a row or column outside the list is empty; SetText ignores them.
  QString Text(int ARow, int AColumn) const;
  void SetText(int ARow, int AColumn, const QString& AText);
  // The row's input and output options records; they move and go with the row.
  TInputOptions& InputRecord(int ARow) { return rows_.at(ARow).IO; }
  TOutputOptions& OutputRecord(int ARow) { return rows_.at(ARow).OO; }

  // Appends a row of 25 texts (missing ones empty) with its records; returns its index.
  int AppendRow(const QStringList& ATexts, const TInputOptions& AIO = {},
                const TOutputOptions& AOO = {});
  void RemoveRow(int ARow);
  // Moves a row with its records to position ATo.
  void MoveRow(int AFrom, int ATo);
  void Clear();

private:
  struct TRow {
    QStringList Texts;  // exactly fcColumnCount texts
    TInputOptions IO;
    TOutputOptions OO;
  };
  std::vector<TRow> rows_;
};
