// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_HELP_ENTER_CLICK_H_
#define QUILLET_UI_HELP_ENTER_CLICK_H_

class QAbstractButton;

namespace quillet {

// Makes Enter and Return on the focused button act as a click, as Space
// does, the way command buttons answer the keyboard on the original
// platform. Qt's push buttons outside a dialog answer only Space.
void ClickOnEnter(QAbstractButton* button);

}  // namespace quillet

#endif  // QUILLET_UI_HELP_ENTER_CLICK_H_
