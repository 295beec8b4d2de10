#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kSize = 32;

struct TGlyph {
  TIconKind kind;
  QColor colour;
};

const TGlyph kGlyphs[] = {
    {TIconKind::Add, QColor(0x2e, 0x8b, 0x57)},      {TIconKind::Remove, QColor(0xc0, 0x39, 0x2b)},
    {TIconKind::Clear, QColor(0xd3, 0x54, 0x00)},    {TIconKind::Start, QColor(0x27, 0xae, 0x60)},
    {TIconKind::Stop, QColor(0xc0, 0x39, 0x2b)},     {TIconKind::Pause, QColor(0x29, 0x80, 0xb9)},
    {TIconKind::Resume, QColor(0x29, 0x80, 0xb9)},   {TIconKind::Options, QColor(0x7f, 0x8c, 0x8d)},
    {TIconKind::MoveUp, QColor(0x29, 0x80, 0xb9)},   {TIconKind::MoveDown, QColor(0x29, 0x80, 0xb9)},
    {TIconKind::Rename, QColor(0x8e, 0x44, 0xad)},   {TIconKind::Play, QColor(0x27, 0xae, 0x60)},
    {TIconKind::PreviewPause, QColor(0x29, 0x80, 0xb9)}, {TIconKind::PreviewStop, QColor(0xc0, 0x39, 0x2b)},
    {TIconKind::MuteOn, QColor(0x7f, 0x8c, 0x8d)},   {TIconKind::MuteOff, QColor(0x34, 0x49, 0x5e)},
    {TIconKind::Snapshot, QColor(0x34, 0x49, 0x5e)}, {TIconKind::Settings, QColor(0x7f, 0x8c, 0x8d)},
};

QColor ColourOf(TIconKind kind) {
  for (const auto& g : kGlyphs)
    if (g.kind == kind)
      return g.colour;
  return Qt::black;
}

QPolygonF Triangle(QPointF a, QPointF b, QPointF c) { return QPolygonF({a, b, c}); }

void DrawGlyph(QPainter& p, TIconKind kind, const QColor& c) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(c);
  switch (kind) {
    case TIconKind::Add:
      p.drawLine(16, 6, 16, 26);
      p.drawLine(6, 16, 26, 16);
      break;
    case TIconKind::Remove:
      p.drawLine(6, 16, 26, 16);
      break;
    case TIconKind::Clear:
      p.drawLine(8, 8, 24, 24);
      p.drawLine(24, 8, 8, 24);
      break;
    case TIconKind::Start:
    case TIconKind::Resume:
    case TIconKind::Play:
      p.drawPolygon(Triangle({10, 6}, {26, 16}, {10, 26}));
      break;
    case TIconKind::Stop:
    case TIconKind::PreviewStop:
      p.drawRect(9, 9, 14, 14);
      break;
    case TIconKind::Pause:
    case TIconKind::PreviewPause:
      p.drawRect(9, 7, 4, 18);
      p.drawRect(19, 7, 4, 18);
      break;
    case TIconKind::Options:
    case TIconKind::Settings:
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(16, 16), 8, 8);
      for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(16, 16);
        p.rotate(45 * i);
        p.drawLine(0, 10, 0, 13);
        p.restore();
      }
      break;
    case TIconKind::MoveUp:
      p.drawPolygon(Triangle({16, 6}, {26, 22}, {6, 22}));
      break;
    case TIconKind::MoveDown:
      p.drawPolygon(Triangle({6, 10}, {26, 10}, {16, 26}));
      break;
    case TIconKind::Rename:
      p.drawLine(8, 24, 24, 8);
      p.drawLine(6, 27, 12, 27);
      break;
    case TIconKind::MuteOn:
    case TIconKind::MuteOff: {
      QPainterPath speaker;
      speaker.addPolygon(QPolygonF({{5, 12}, {11, 12}, {18, 6}, {18, 26}, {11, 20}, {5, 20}}));
      p.drawPath(speaker);
      p.setBrush(Qt::NoBrush);
      if (kind == TIconKind::MuteOn) {
        p.drawLine(21, 12, 28, 20);
        p.drawLine(28, 12, 21, 20);
      } else {
        p.drawArc(QRectF(14, 9, 12, 14), -60 * 16, 120 * 16);
      }
      break;
    }
    case TIconKind::Snapshot:
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(5, 10, 22, 15, 3, 3);
      p.drawEllipse(QPointF(16, 17.5), 4, 4);
      p.drawLine(11, 8, 15, 8);
      break;
  }
}

QPixmap Picture(TIconKind kind, const QColor& colour) {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  DrawGlyph(p, kind, colour);
  return pm;
}

}  // namespace

QIcon CommandIcon(TIconKind kind) {
  QIcon icon;
  icon.addPixmap(Picture(kind, ColourOf(kind)), QIcon::Normal);
  icon.addPixmap(Picture(kind, QColor(0xb0, 0xb0, 0xb0)), QIcon::Disabled);
  return icon;
}

namespace {

QPixmap Tile(const QColor& colour, bool video) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
  p.setBrush(Qt::white);
  if (video) {
    p.drawPolygon(QPolygonF({QPointF(5, 4), QPointF(12, 8), QPointF(5, 12)}));
  } else {
    p.drawEllipse(QPointF(6, 11), 2.2, 2.2);
    p.drawRect(QRectF(7.4, 3, 1.6, 8));
    p.drawRect(QRectF(7.4, 3, 5, 1.6));
  }
  return pm;
}

}  // namespace

QIcon CategoryImage(int AImageIndex) {
  static const QColor kHues[] = {
      QColor(0x29, 0x80, 0xb9), QColor(0x27, 0xae, 0x60), QColor(0x8e, 0x44, 0xad),
      QColor(0x34, 0x49, 0x5e), QColor(0xd3, 0x54, 0x00), QColor(0x16, 0xa0, 0x85),
      QColor(0xc0, 0x39, 0x2b), QColor(0x7f, 0x8c, 0x8d), QColor(0x2c, 0x3e, 0x50),
      QColor(0xf3, 0x9c, 0x12), QColor(0x1a, 0x5f, 0xb4),
  };
  const int n = static_cast<int>(std::size(kHues));
  const int i = ((AImageIndex % n) + n) % n;
  return QIcon(Tile(kHues[i], i != 1));  // image 1 is the audio category's
}

QIcon FormatImage(int AImageIndex) {
  return QIcon(Tile(AImageIndex % 2 ? QColor(0x16, 0xa0, 0x85) : QColor(0x29, 0x80, 0xb9), true));
}
