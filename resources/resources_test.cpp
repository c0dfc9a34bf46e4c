// SPDX-License-Identifier: GPL-3.0-or-later
// The images reach a program that merely links quillet_resources, and each
// one still shows what the windows expect of it: sizes, grounds, colour
// depth, and the order of the pictures in the two direction images.

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QString>
#include <utility>

namespace {

QImage Load(const char* path) {
  QImage image(QString::fromLatin1(path));
  EXPECT_FALSE(image.isNull()) << path << " is not in the linked resources";
  return image;
}

// Counts pixels for which `pred` holds.
template <typename Pred>
int Count(const QImage& image, Pred pred) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (pred(QColor::fromRgba(image.pixel(x, y)))) ++n;
    }
  }
  return n;
}

// Bit depth and colour type from the PNG's IHDR chunk, which QImage hides
// (it widens 24-bit images to 32 bits on loading).
std::pair<int, int> PngDepthAndColourType(const char* path) {
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly)) return {-1, -1};
  const QByteArray head = file.read(26);
  if (head.size() < 26 || !head.startsWith("\x89PNG") ||
      head.mid(12, 4) != "IHDR") {
    return {-1, -1};
  }
  return {uchar(head[24]), uchar(head[25])};
}
constexpr int kPngTrueColour = 2;
constexpr int kPngPalette = 3;

bool IsYellow(const QColor& c) {
  return c.alpha() == 255 && c.red() > 200 && c.green() > 200 && c.blue() < 80;
}
bool IsRed(const QColor& c) {
  return c.red() > 180 && c.green() < 80 && c.blue() < 80;
}
bool IsBlue(const QColor& c) {
  return c.blue() > 120 && c.blue() > c.red() + 60 && c.blue() > c.green() + 30;
}

TEST(ProgramIcon, IsA32PixelSixteenColourImageOnTransparentGround) {
  const QImage icon = Load(":/quillet/icon.png");
  ASSERT_EQ(icon.size(), QSize(32, 32));
  ASSERT_TRUE(icon.hasAlphaChannel());
  EXPECT_EQ(PngDepthAndColourType(":/quillet/icon.png").second, kPngPalette);
  for (QPoint corner : {QPoint(0, 31), QPoint(31, 31), QPoint(0, 0)}) {
    EXPECT_EQ(qAlpha(icon.pixel(corner)), 0) << corner.x() << "," << corner.y();
  }
  QSet<QRgb> opaque;
  int partly_transparent = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const QRgb c = icon.pixel(x, y);
      if (qAlpha(c) == 255) opaque.insert(c);
      if (qAlpha(c) != 0 && qAlpha(c) != 255) ++partly_transparent;
    }
  }
  EXPECT_LE(opaque.size(), 16);
  EXPECT_EQ(partly_transparent, 0) << "a 16-colour icon has a one-bit mask";
  // The black hat covers a good part of the square; yellow stars lie on it.
  const int black = Count(icon, [](const QColor& c) {
    return c.alpha() == 255 && c.red() == 0 && c.green() == 0 && c.blue() == 0;
  });
  EXPECT_GT(black, 32 * 32 / 6);
  EXPECT_GT(Count(icon, IsYellow), 8);
  // Sparks of several colours: at least red, a green and a blue-ish one.
  EXPECT_GT(Count(icon, IsRed), 0);
  EXPECT_GT(Count(icon,
                  [](const QColor& c) {
                    return c.alpha() == 255 && c.green() == 255 && c.red() == 0;
                  }),
            0);
}

// Each direction image is three 18-pixel bands; the two images hold the same
// three pictures in opposite orders.
TEST(DirectionImages, StackTheSamePicturesInOppositeOrders) {
  const QImage to_box = Load(":/quillet/to_box.png");
  const QImage to_mbox = Load(":/quillet/to_mbox.png");
  ASSERT_EQ(to_box.size(), QSize(26, 54));
  ASSERT_EQ(to_mbox.size(), QSize(26, 54));
  EXPECT_EQ(PngDepthAndColourType(":/quillet/to_box.png"),
            std::make_pair(8, kPngPalette));
  EXPECT_EQ(PngDepthAndColourType(":/quillet/to_mbox.png"),
            std::make_pair(8, kPngPalette));
  for (const QImage* image : {&to_box, &to_mbox}) {
    EXPECT_LE(image->colorCount(), 256);
    for (QPoint corner :
         {QPoint(0, 0), QPoint(25, 0), QPoint(0, 53), QPoint(25, 53)}) {
      EXPECT_EQ(QColor(image->pixel(corner)), QColor(204, 204, 204));
    }
  }
  auto band = [](const QImage& image, int i) {
    return image.copy(0, 18 * i, 26, 18).convertToFormat(QImage::Format_RGB32);
  };
  EXPECT_EQ(band(to_box, 0), band(to_mbox, 2));
  EXPECT_EQ(band(to_box, 1), band(to_mbox, 1));
  EXPECT_EQ(band(to_box, 2), band(to_mbox, 0));
  EXPECT_NE(band(to_box, 0), band(to_box, 2));

  // mbox -> .box: the mail file (blue and green chequer with white) on top,
  // the red swirl at the bottom.
  const QImage mail = band(to_box, 0);
  const QImage swirl = band(to_box, 2);
  EXPECT_GT(Count(mail, IsBlue), 10);
  EXPECT_GT(Count(mail,
                  [](const QColor& c) {
                    return c.green() > 100 && c.red() < 60 && c.blue() < 60;
                  }),
            10);
  EXPECT_GT(Count(mail, [](const QColor& c) { return c == Qt::white; }), 10);
  EXPECT_EQ(Count(mail, IsRed), 0);
  EXPECT_GT(Count(swirl, IsRed), 20);
  EXPECT_EQ(Count(swirl, IsBlue), 0);

  // The triangle points down: wide near its top, narrow near its tip.
  const QImage arrow = band(to_box, 1);
  auto dark_in_row = [&arrow](int y) {
    int n = 0;
    for (int x = 0; x < 26; ++x) n += qGray(arrow.pixel(x, y)) < 60;
    return n;
  };
  int first = -1;
  int last = -1;
  for (int y = 0; y < 18; ++y) {
    if (dark_in_row(y) > 0) {
      if (first < 0) first = y;
      last = y;
    }
  }
  ASSERT_GE(first, 0) << "no black triangle";
  EXPECT_GT(dark_in_row(first), 3 * dark_in_row(last));
}

TEST(AboutLogo, Is142PixelsOnFlatGreyWithBlueStrokeYellowDotAndRedLettering) {
  const QImage logo = Load(":/quillet/logo.png");
  ASSERT_EQ(logo.size(), QSize(142, 142));
  EXPECT_FALSE(logo.hasAlphaChannel());
  EXPECT_EQ(PngDepthAndColourType(":/quillet/logo.png"),
            std::make_pair(8, kPngTrueColour));
  const QColor ground(212, 208, 200);
  for (QPoint corner : {QPoint(141, 141), QPoint(141, 70), QPoint(60, 2)}) {
    EXPECT_EQ(QColor(logo.pixel(corner)), ground);
  }
  // The stroke rises: blue lies in the upper right and in the lower left
  // half, the yellow dot in the lower left quarter, the red lettering in the
  // leftmost strip.
  const QImage upper_right = logo.copy(71, 0, 71, 71);
  const QImage lower_left = logo.copy(0, 71, 71, 71);
  EXPECT_GT(Count(upper_right, IsBlue), 200);
  EXPECT_GT(Count(lower_left, IsBlue), 200);
  EXPECT_GT(Count(lower_left, IsYellow), 100);
  EXPECT_GT(Count(logo.copy(0, 0, 20, 142), IsRed), 100);
  EXPECT_EQ(Count(logo.copy(40, 0, 102, 142), IsRed), 0);
}

TEST(Instructions, LieInTheProgramsFolderOfTheBuild) {
  QFile built(QStringLiteral(QUILLET_BUILT_README));
  QFile source(QStringLiteral(QUILLET_SOURCE_README));
  ASSERT_TRUE(built.open(QIODevice::ReadOnly)) << QUILLET_BUILT_README;
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  EXPECT_EQ(built.readAll(), source.readAll());
}

}  // namespace
