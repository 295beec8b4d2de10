#include "app/snapshot.h"

#include <QFileInfo>
#include <QImageWriter>

#include "media/gif_writer.h"

QImage ToImage(const TBitmap24& ABitmap) {
  if (ABitmap.Empty())
    return {};
  return QImage(ABitmap.Pixels(), ABitmap.Width(), ABitmap.Height(), ABitmap.Stride(),
                QImage::Format_BGR888)
      .copy();
}

namespace {

bool WriteGif(const QImage& APicture, const QString& APath, QString* AError) {
  const QImage indexed = APicture.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
  uint32_t palette[256] = {};
  const QList<QRgb> colours = indexed.colorTable();
  for (int i = 0; i < colours.size() && i < 256; ++i)
    palette[i] = colours[i] | 0xff000000u;
  std::string error;
  if (!WriteGifPal8(indexed.width(), indexed.height(), indexed.constBits(),
                    static_cast<int>(indexed.bytesPerLine()), palette, APath.toStdString(), error)) {
    if (AError)
      *AError = QString::fromStdString(error);
    return false;
  }
  return true;
}

}  // namespace

QString SaveSnapshotPicture(const QImage& APicture, const QString& AFolder, const QString& ABase,
                            TSnapshotType AType, QString* AError) {
  const TSnapshotTypeInfo& info = SnapshotTypeInfo(AType);
  const QString ext = QString::fromUtf8(info.Extension.data(), info.Extension.size());
  QString path;
  for (int n = 1;; ++n) {
    path = AFolder + "/" + ABase + "_" + QString::number(n) + ext;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
      break;
  }
  return WriteSnapshotFile(APicture, path, AType, AError) ? path : QString();
}

bool WriteSnapshotFile(const QImage& APicture, const QString& APath, TSnapshotType AType,
                       QString* AError) {
  if (AType == TSnapshotType::stGIF)
    return WriteGif(APicture, APath, AError);
  const char* format = AType == TSnapshotType::stBMP ? "BMP" : AType == TSnapshotType::stJPG ? "JPG" : "PNG";
  QImageWriter writer(APath, format);
  if (writer.write(APicture))
    return true;
  if (AError)
    *AError = APath + ": " + writer.errorString();
  return false;
}
