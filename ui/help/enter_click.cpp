// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help/enter_click.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>

namespace quillet {
namespace {

class EnterClickFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
      return false;
    }
    // A held key must not click again and again ("Go!" would run twice).
    if (key->isAutoRepeat() ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
      return false;
    }
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (button == nullptr || !button->isEnabled()) return false;
    button->click();
    return true;
  }
};

}  // namespace

void ClickOnEnter(QAbstractButton* button) {
  button->installEventFilter(new EnterClickFilter(button));
}

}  // namespace quillet
