// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_RESOURCES_DRAW_ICON_DRAWING_H_
#define QUILLET_RESOURCES_DRAW_ICON_DRAWING_H_

// The program's icon: the hat drawn in its own pixel units, and the
// reduction to 16 colours of the window icon. Used by draw_images.cpp only.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

namespace quillet::draw {

using Painting = std::function<void(QPainter&)>;

// Renders `paint` (which draws in final-size pixel units) at `supersample`
// times the size and reduces it to width x height.
inline QImage Render(int width, int height, int supersample, QColor ground,
                     const Painting& paint) {
  QImage big(width * supersample, height * supersample,
             QImage::Format_ARGB32_Premultiplied);
  big.fill(ground);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(supersample, supersample);
    paint(p);
  }
  return big.scaled(width, height, Qt::IgnoreAspectRatio,
                    Qt::SmoothTransformation);
}

QPainterPath Star(QPointF centre, double outer, double rotation_deg,
                  int points = 5, double inner_ratio = 0.45) {
  QPolygonF poly;
  for (int i = 0; i < points * 2; ++i) {
    const double r = (i % 2 == 0) ? outer : outer * inner_ratio;
    const double a =
        qDegreesToRadians(rotation_deg - 90.0 + 180.0 * i / points);
    poly << QPointF(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
  }
  QPainterPath path;
  path.addPolygon(poly);
  path.closeSubpath();
  return path;
}

// ---------------------------------------------------------------------------
// The program icon: a black pointed wizard's hat strewn with yellow stars, a
// grey magic wand beside it, sparks of many colours flying from the hat's tip.
// Drawn on a 32 x 32 unit square; callers scale it to any size.

inline void PaintIcon(QPainter& p) {
  const QColor black(0, 0, 0);
  const QColor yellow(255, 255, 0);
  const QColor silver(192, 192, 192);
  const QColor grey(128, 128, 128);
  const QColor white(255, 255, 255);

  // The wand first, so the hat's brim overlaps its lower end.
  p.save();
  p.translate(27.2, 19.0);
  p.rotate(18.0);
  p.setPen(QPen(grey, 0.9));
  p.setBrush(silver);
  p.drawRoundedRect(QRectF(-1.35, -9.0, 2.7, 21.5), 1.0, 1.0);
  p.setPen(Qt::NoPen);
  p.setBrush(white);
  p.drawRect(QRectF(-0.9, -8.6, 1.8, 3.4));  // the wand's bright tip
  p.restore();

  // The hat: a cone leaning slightly to the right, its tip bent over.
  QPainterPath cone;
  cone.moveTo(4.5, 26.0);
  cone.cubicTo(9.0, 19.0, 12.0, 11.0, 15.0, 5.0);
  cone.quadTo(17.0, 2.0, 21.5, 2.5);  // bent tip
  cone.quadTo(18.5, 4.5, 18.0, 8.0);
  cone.cubicTo(18.5, 14.0, 20.0, 20.0, 23.5, 26.0);
  cone.closeSubpath();
  QPainterPath brim;
  brim.addEllipse(QPointF(14.0, 26.3), 12.8, 3.6);

  p.setPen(QPen(grey, 0.6));
  p.setBrush(black);
  p.drawPath(brim);
  p.setPen(Qt::NoPen);
  p.drawPath(cone);
  p.setPen(QPen(grey, 0.6));
  p.setBrush(Qt::NoBrush);
  p.drawPath(cone.subtracted(brim));

  // Stars strewn over the cone.
  p.setPen(Qt::NoPen);
  p.setBrush(yellow);
  p.drawPath(Star({11.0, 21.0}, 2.9, 10));
  p.drawPath(Star({17.8, 17.0}, 2.2, -12));
  p.drawPath(Star({14.3, 11.3}, 1.9, 25));
  p.drawPath(Star({7.8, 26.6}, 1.5, 0));
  p.drawPath(Star({19.8, 26.4}, 1.5, 30));

  // Sparks flying from the tip: small four-pointed glints and dots.
  struct Spark {
    QPointF at;
    double size;
    QColor colour;
  };
  const std::array<Spark, 8> sparks = {{
      {{25.0, 2.6}, 2.6, QColor(255, 0, 0)},
      {{29.3, 5.4}, 2.2, QColor(0, 255, 255)},
      {{24.8, 7.6}, 1.9, QColor(0, 255, 0)},
      {{29.6, 1.3}, 1.5, QColor(255, 0, 255)},
      {{27.6, 10.0}, 1.4, QColor(255, 255, 0)},
      {{21.5, 0.9}, 1.2, QColor(0, 0, 255)},
      {{31.0, 8.6}, 1.0, QColor(255, 255, 255)},
      {{26.9, 4.6}, 0.8, QColor(255, 0, 255)},
  }};
  for (const Spark& s : sparks) {
    p.setBrush(s.colour);
    p.drawPath(Star(s.at, s.size, 0, 4, 0.42));
  }
}

// The sixteen colours of the classic icon palette.
constexpr std::array<QRgb, 16> kSixteenColours = {
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080,
    0xff008080, 0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
    0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};

// Maps a rendered icon to the sixteen colours plus one fully transparent
// entry: pixels at least half covered take the nearest colour, the rest
// become transparent, as an icon with a one-bit mask would show them.
inline QImage ToSixteenColours(const QImage& rendered) {
  const QImage src = rendered.convertToFormat(QImage::Format_ARGB32);
  QImage out(src.size(), QImage::Format_Indexed8);
  QList<QRgb> table(kSixteenColours.begin(), kSixteenColours.end());
  const int transparent = int(table.size());
  table.append(qRgba(0, 0, 0, 0));
  out.setColorTable(table);
  for (int y = 0; y < src.height(); ++y) {
    for (int x = 0; x < src.width(); ++x) {
      const QRgb c = src.pixel(x, y);
      if (qAlpha(c) < 128) {
        out.setPixel(x, y, uint(transparent));
        continue;
      }
      int best = 0;
      long best_distance = -1;
      for (int i = 0; i < int(kSixteenColours.size()); ++i) {
        const QRgb k = kSixteenColours[size_t(i)];
        const long dr = qRed(c) - qRed(k);
        const long dg = qGreen(c) - qGreen(k);
        const long db = qBlue(c) - qBlue(k);
        // Weighted towards green as the eye is; keeps yellow stars yellow.
        const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (best_distance < 0 || d < best_distance) {
          best_distance = d;
          best = i;
        }
      }
      out.setPixel(x, y, uint(best));
    }
  }
  return out;
}

inline QImage RenderIcon(int size) {
  return Render(size, size, size >= 128 ? 2 : 8, Qt::transparent,
                [size](QPainter& p) {
                  p.scale(size / 32.0, size / 32.0);
                  PaintIcon(p);
                });
}

// ---------------------------------------------------------------------------
// The direction images: three small pictures stacked on light grey.

const QColor kDirectionGround(204, 204, 204);

}  // namespace quillet::draw

#endif  // QUILLET_RESOURCES_DRAW_ICON_DRAWING_H_
