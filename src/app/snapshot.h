// Snapshot pictures: numbered files in the snapshot folder, in one of four picture types.
#pragma once

#include <QImage>
#include <QString>

#include "media/bitmap.h"
#include "settings/settings_file.h"

// The picture of a bitmap of the media core (copied).
QImage ToImage(const TBitmap24& ABitmap);

// Writes APicture to APath as a picture of type AType; false with AError set when it fails.
bool WriteSnapshotFile(const QImage& APicture, const QString& APath, TSnapshotType AType,
                       QString* AError = nullptr);

// Writes APicture as AFolder/ABase_n + the type's extension for the first n from 1 at which no
// file exists. Returns the written path, or an empty text with AError set.
QString SaveSnapshotPicture(const QImage& APicture, const QString& AFolder, const QString& ABase,
                            TSnapshotType AType, QString* AError = nullptr);
