// SPDX-License-Identifier: GPL-3.0-or-later
// Draws Quillet's images from one vector description each and writes them as
// the PNG files that resources/ commits:
//
//   icon.png              32 x 32, 16 colours + transparent (window icon)
//   icons/quillet-N.png   the same hat at N = 16, 24, 48, 64, 128, 256, in
//                         full colour with alpha (desktop icon theme)
//   quillet.ico           16/32/48/256 in one Windows icon (program file icon)
//   to_box.png            26 x 54, 256-colour palette, mbox -> .box direction
//   to_mbox.png           26 x 54, 256-colour palette, .box -> mbox direction
//   logo.png              142 x 142, 24-bit, the maker's logo
//
// Usage (from a configured build directory):
//   cmake --build <build> --target quillet_draw_images
//   QT_QPA_PLATFORM=offscreen <build>/resources/quillet_draw_images
//   <repo>/resources
//
// Everything is drawn in the image's own pixel units and rendered at a
// multiple of the final size, then reduced with area averaging, so edges are
// smooth without depending on the rasteriser's antialiasing at tiny sizes.
// The output is deterministic for a given Qt and font installation.

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

#include "resources/draw/icon_drawing.h"

using namespace quillet::draw;

namespace {

// A mail file: a sheet with a folded corner, chequered in blue and green,
// with a white letter on it. Occupies the 26 x 18 band starting at `top`.
void PaintMailFile(QPainter& p, double top) {
  const QRectF sheet(5.0, top + 1.0, 16.0, 16.0);
  const double fold = 4.0;
  QPainterPath outline;
  outline.moveTo(sheet.left(), sheet.top());
  outline.lineTo(sheet.right() - fold, sheet.top());
  outline.lineTo(sheet.right(), sheet.top() + fold);
  outline.lineTo(sheet.right(), sheet.bottom());
  outline.lineTo(sheet.left(), sheet.bottom());
  outline.closeSubpath();

  p.save();
  p.setClipPath(outline);
  for (int row = 0; row < 8; ++row) {
    for (int col = 0; col < 8; ++col) {
      p.fillRect(QRectF(sheet.left() + col * 2, sheet.top() + row * 2, 2, 2),
                 (row + col) % 2 ? QColor(0, 128, 0) : QColor(0, 64, 255));
    }
  }
  p.restore();
  p.setPen(QPen(Qt::black, 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(outline);
  QPolygonF dog_ear;
  dog_ear << QPointF(sheet.right() - fold, sheet.top())
          << QPointF(sheet.right() - fold, sheet.top() + fold)
          << QPointF(sheet.right(), sheet.top() + fold);
  p.setBrush(QColor(230, 230, 230));
  p.drawPolygon(dog_ear);

  // The letter: a white envelope with its flap.
  const QRectF letter(7.5, top + 7.0, 11.0, 7.5);
  p.setPen(QPen(Qt::black, 0.9));
  p.setBrush(Qt::white);
  p.drawRect(letter);
  QPolygonF flap;
  flap << letter.topLeft()
       << QPointF(letter.center().x(), letter.top() + letter.height() * 0.6)
       << letter.topRight();
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(flap);
}

// A black triangle pointing down, in the band starting at `top`.
void PaintArrowDown(QPainter& p, double top) {
  QPolygonF tri;
  tri << QPointF(6.0, top + 4.0) << QPointF(20.0, top + 4.0)
      << QPointF(13.0, top + 14.0);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(tri);
}

// A red swirl emblem: a thick spiral winding into a dot.
void PaintSwirl(QPainter& p, double top) {
  const QPointF centre(13.0, top + 9.0);
  QPainterPath spiral;
  const double turns = 1.75;
  const int steps = 160;
  for (int i = 0; i <= steps; ++i) {
    const double t = double(i) / steps;
    const double angle = -turns * 2.0 * M_PI * t + M_PI * 0.75;
    const double r = 7.8 * (1.0 - t) + 1.0 * t;
    const QPointF at(centre.x() + r * std::cos(angle),
                     centre.y() + r * std::sin(angle));
    if (i == 0) {
      spiral.moveTo(at);
    } else {
      spiral.lineTo(at);
    }
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(
      QPen(QColor(220, 0, 0), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(spiral);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 0, 0));
  p.drawEllipse(centre, 1.5, 1.5);
}

// Reduces an opaque image to at most 256 colours without dithering: exact
// when it has that few, otherwise by dropping low bits of each channel until
// it has. Flat areas (the ground) keep their exact colour while no more than
// the lowest bits go.
QImage ToPalette(const QImage& rendered) {
  const QImage src = rendered.convertToFormat(QImage::Format_RGB32);
  for (int dropped_bits = 0; dropped_bits < 8; ++dropped_bits) {
    const uint mask = (0xffu << dropped_bits) & 0xffu;
    const uint keep = 0xff000000u | (mask << 16) | (mask << 8) | mask;
    QList<QRgb> table;
    std::vector<uint> indices;
    for (int y = 0; y < src.height() && table.size() <= 256; ++y) {
      for (int x = 0; x < src.width(); ++x) {
        const QRgb c = src.pixel(x, y) & keep;
        qsizetype index = table.indexOf(c);
        if (index < 0) {
          index = table.size();
          table.append(c);
        }
        indices.push_back(uint(index));
      }
    }
    if (table.size() > 256) continue;
    QImage out(src.size(), QImage::Format_Indexed8);
    out.setColorTable(table);
    size_t i = 0;
    for (int y = 0; y < src.height(); ++y) {
      for (int x = 0; x < src.width(); ++x) out.setPixel(x, y, indices[i++]);
    }
    return out;
  }
  return src.convertToFormat(QImage::Format_Indexed8);
}

QImage RenderDirection(bool to_box) {
  const QImage rendered =
      Render(26, 54, 8, kDirectionGround, [to_box](QPainter& p) {
        if (to_box) {
          PaintMailFile(p, 0.0);
          PaintArrowDown(p, 18.0);
          PaintSwirl(p, 36.0);
        } else {
          PaintSwirl(p, 0.0);
          PaintArrowDown(p, 18.0);
          PaintMailFile(p, 36.0);
        }
      });
  return ToPalette(rendered);
}

// ---------------------------------------------------------------------------
// The maker's logo: a broad blue brush stroke rising from lower left to upper
// right, a yellow dot at its foot, the maker's name beside the dot and, in
// red, up the left edge.

const char kMakerName[] = "Quillet Werkstatt";

QFont LogoFont(int pixel_size, bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPixelSize(pixel_size);
  f.setBold(bold);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

void PaintLogo(QPainter& p) {
  // The brush stroke: the area between two curves that meet at both ends,
  // broad in the middle and tapering, with lighter bristle streaks along it.
  const QPointF foot(29.0, 104.0);
  const QPointF end(136.0, 14.0);
  QPainterPath stroke;
  stroke.moveTo(foot);
  stroke.cubicTo(QPointF(30.0, 52.0), QPointF(76.0, 14.0), end);
  stroke.cubicTo(QPointF(84.0, 30.0), QPointF(50.0, 56.0),
                 QPointF(41.0, 108.0));
  stroke.closeSubpath();
  QLinearGradient blue(foot, end);
  blue.setColorAt(0.0, QColor(10, 40, 150));
  blue.setColorAt(1.0, QColor(30, 90, 210));
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawPath(stroke);

  p.save();
  p.setClipPath(stroke);
  for (int i = 0; i < 7; ++i) {
    const double off = -9.0 + 3.0 * i;
    QPainterPath bristle;
    bristle.moveTo(foot + QPointF(off * 0.2, off * 0.6));
    bristle.cubicTo(QPointF(38.0 + off, 54.0 + off),
                    QPointF(80.0 + off * 0.4, 22.0 + off),
                    end + QPointF(off * 0.3, off * 0.3));
    p.setPen(QPen(QColor(120, 160, 240, i % 2 ? 110 : 60), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawPath(bristle);
  }
  p.restore();

  // The yellow dot at the stroke's foot.
  p.setPen(QPen(QColor(170, 130, 0), 1.0));
  p.setBrush(QColor(255, 210, 0));
  p.drawEllipse(QPointF(33.0, 116.0), 9.0, 9.0);

  // The name beside the dot, on two lines.
  p.setPen(QColor(20, 30, 80));
  p.setFont(LogoFont(15, true));
  p.drawText(QPointF(47.0, 115.0), QStringLiteral("Quillet"));
  p.setFont(LogoFont(13, false));
  p.drawText(QPointF(47.0, 130.0), QStringLiteral("Werkstatt"));

  // The name in red, reading upwards along the left edge.
  p.save();
  p.translate(13.0, 138.0);
  p.rotate(-90.0);
  p.setPen(QColor(200, 0, 0));
  p.setFont(LogoFont(11, true));
  p.drawText(QPointF(0.0, 0.0), QString::fromLatin1(kMakerName).toUpper());
  p.restore();
}

QImage RenderLogo() {
  return Render(142, 142, 4, QColor(212, 208, 200), PaintLogo)
      .convertToFormat(QImage::Format_RGB888);
}

// ---------------------------------------------------------------------------

// A Windows icon file holding PNG-compressed images (readable since
// Windows Vista): ICONDIR, one ICONDIRENTRY per image, then the PNG data.
QByteArray IcoFile(const std::vector<QImage>& images) {
  std::vector<QByteArray> pngs;
  for (const QImage& image : images) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    pngs.push_back(png);
  }
  QByteArray out;
  auto put16 = [&out](quint32 v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
  };
  auto put32 = [&](quint32 v) {
    put16(v & 0xffff);
    put16(v >> 16);
  };
  put16(0);  // reserved
  put16(1);  // type: icon
  put16(quint32(images.size()));
  quint32 offset = 6 + 16 * quint32(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const int w = images[i].width();
    out.append(char(w >= 256 ? 0 : w));  // 0 means 256
    out.append(char(w >= 256 ? 0 : images[i].height()));
    out.append(char(0));  // colour count: not palettised
    out.append(char(0));  // reserved
    put16(1);             // planes
    put16(32);            // bits per pixel
    put32(quint32(pngs[i].size()));
    put32(offset);
    offset += quint32(pngs[i].size());
  }
  for (const QByteArray& png : pngs) out.append(png);
  return out;
}

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG", 0)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s RESOURCES_DIR\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QFontDatabase::addApplicationFont(QStringLiteral(
      "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"));
  QFontDatabase::addApplicationFont(QStringLiteral(
      "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"));

  bool ok = true;
  ok &= Save(ToSixteenColours(RenderIcon(32)), dir + "/icon.png");
  QDir().mkpath(dir + "/icons");
  for (int size : {16, 24, 48, 64, 128, 256}) {
    ok &= Save(RenderIcon(size),
               QStringLiteral("%1/icons/quillet-%2.png").arg(dir).arg(size));
  }
  {
    QFile ico(dir + "/quillet.ico");
    ok &= ico.open(QIODevice::WriteOnly) &&
          ico.write(IcoFile({RenderIcon(16), RenderIcon(32), RenderIcon(48),
                             RenderIcon(256)})) > 0;
  }
  ok &= Save(RenderDirection(true), dir + "/to_box.png");
  ok &= Save(RenderDirection(false), dir + "/to_mbox.png");
  ok &= Save(RenderLogo(), dir + "/logo.png");
  return ok ? 0 : 1;
}
