// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/graphical_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace quillet {

void GraphicalButton::SetBackColor(const QColor& colour) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Button, colour);
  setPalette(palette);
}

QColor GraphicalButton::BackColor() const {
  return palette().color(QPalette::Button);
}

void GraphicalButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  painter.drawControl(QStyle::CE_PushButtonBevel, option);
  // The face inside the frame, flat in the back colour; a pressed button
  // shows it a shade darker.
  const QColor face = isDown() ? BackColor().darker(110) : BackColor();
  painter.fillRect(rect().adjusted(2, 2, -2, -2), face);
  painter.drawControl(QStyle::CE_PushButtonLabel, option);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(4, 4, -4, -4);
    focus.backgroundColor = face;
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace quillet
