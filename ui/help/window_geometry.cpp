// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help/window_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quillet {

QFont DesignedFont(const QString& family, double point_size, bool bold) {
  QFont font(family);
  font.setPointSizeF(point_size);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);  // 700 : 400
  return font;
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  QSize outer = window.frameGeometry().size();
  if (!window.isVisible() || outer.isEmpty()) outer = window.size();
  window.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace quillet
