// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_MAIN_GRAPHICAL_BUTTON_H_
#define QUILLET_UI_MAIN_GRAPHICAL_BUTTON_H_

#include <QColor>
#include <QPushButton>

namespace quillet {

// A command button in graphical style: its face is filled flat with its
// back colour (the palette's Button colour), as the designed "Go!" button
// shows light red, where the style would draw a gradient of its own.
class GraphicalButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

  void SetBackColor(const QColor& colour);
  QColor BackColor() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_GRAPHICAL_BUTTON_H_
