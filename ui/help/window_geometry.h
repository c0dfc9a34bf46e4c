// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_HELP_WINDOW_GEOMETRY_H_
#define QUILLET_UI_HELP_WINDOW_GEOMETRY_H_

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace quillet {

// Twips as designed into device-independent pixels: 15 twips are one pixel
// at 96 dpi; Qt scales for other resolutions.
constexpr int Twips(int twips) { return (twips + 7) / 15; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// A font as the designed windows name it; see platform/fonts.h for the
// stand-ins of missing typefaces.
QFont DesignedFont(const QString& family, double point_size, bool bold);

// Moves a top-level window so that it stands centred on its screen.
void CentreOnScreen(QWidget& window);

}  // namespace quillet

#endif  // QUILLET_UI_HELP_WINDOW_GEOMETRY_H_
