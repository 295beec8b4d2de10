#include "app/skins.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace {

struct TSkin {
  const char* style;
  QColor window, base, text, button, highlight;
};

const TSkin kSkins[] = {
    {"Fusion", QColor(0xf0, 0xf0, 0xf0), Qt::white, Qt::black, QColor(0xe8, 0xe8, 0xe8), QColor(0x30, 0x8c, 0xc6)},
    {"Fusion", QColor(0x2b, 0x2b, 0x2b), QColor(0x1e, 0x1e, 0x1e), QColor(0xe0, 0xe0, 0xe0), QColor(0x3c, 0x3c, 0x3c), QColor(0x2a, 0x82, 0xda)},
    {"Fusion", QColor(0xe3, 0xee, 0xf9), Qt::white, QColor(0x10, 0x20, 0x40), QColor(0xd0, 0xe2, 0xf5), QColor(0x1f, 0x6f, 0xc5)},
};

}  // namespace

int SkinCount() { return static_cast<int>(std::size(kSkins)); }

void ApplySkin(int index) {
  const TSkin& s = kSkins[(index >= 0 && index < SkinCount()) ? index : 0];
  QApplication::setStyle(QStyleFactory::create(s.style));
  QPalette pal;
  pal.setColor(QPalette::Window, s.window);
  pal.setColor(QPalette::Base, s.base);
  pal.setColor(QPalette::AlternateBase, s.window);
  pal.setColor(QPalette::WindowText, s.text);
  pal.setColor(QPalette::Text, s.text);
  pal.setColor(QPalette::ButtonText, s.text);
  pal.setColor(QPalette::Button, s.button);
  pal.setColor(QPalette::Highlight, s.highlight);
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x90, 0x90, 0x90));
  pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x90, 0x90, 0x90));
  pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x90, 0x90, 0x90));
  QApplication::setPalette(pal);
}
