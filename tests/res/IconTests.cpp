// The icon as the build draws it: each theme size at its size, the scalable icon the same
// picture, the window's compiled-in icon one of them, and a theme lookup finding it at every
// size the way desktops and QIcon::fromTheme look it up.
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

const int SIZES[] = {LUMARET_ICON_SIZES};
const QString ICON_ROOT = QStringLiteral(LUMARET_ICON_ROOT);

QString PngPath(int size) {
    return ICON_ROOT + QStringLiteral("/hicolor/%1x%1/apps/lumaret.png").arg(size);
}

QString SvgPath() {
    return ICON_ROOT + QStringLiteral("/hicolor/scalable/apps/lumaret.svg");
}

QImage Premultiplied(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Share of the pixels that the picture covers more than half.
double Coverage(const QImage& image) {
    int covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            covered += qAlpha(image.pixel(x, y)) > 127 ? 1 : 0;
        }
    }
    return double(covered) / (image.width() * image.height());
}

// Mean difference of two images of one size, per channel, on the 0 to 255 scale.
double MeanDifference(const QImage& a, const QImage& b) {
    const QImage pa = Premultiplied(a);
    const QImage pb = Premultiplied(b);
    double sum = 0;
    for (int y = 0; y < pa.height(); ++y) {
        for (int x = 0; x < pa.width(); ++x) {
            const QRgb p = pa.pixel(x, y);
            const QRgb q = pb.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * pa.width() * pa.height());
}

TEST(Icon, EveryThemeSizeIsDrawnAtThatSize) {
    for (const int size : SIZES) {
        SCOPED_TRACE(size);
        const QImage image(PngPath(size));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(size, size));
        ASSERT_TRUE(image.hasAlphaChannel());
        // Clear below the rays and left of the legs; the LED and its rays fill a good
        // part of the square, at every size alike.
        EXPECT_EQ(qAlpha(image.pixel(0, size - 1)), 0);
        const double covered = Coverage(image);
        EXPECT_GT(covered, 0.15);
        EXPECT_LT(covered, 0.35);
    }
}

TEST(Icon, ScalableIconIsThePictureOfEverySize) {
    QSvgRenderer svg(SvgPath());
    ASSERT_TRUE(svg.isValid());
    for (const int size : SIZES) {
        SCOPED_TRACE(size);
        QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
        rendered.fill(Qt::transparent);
        QPainter painter(&rendered);
        svg.render(&painter);
        painter.end();
        // Both come from one drawing: only antialiasing may tell them apart.
        EXPECT_LT(MeanDifference(rendered, QImage(PngPath(size))), 1.0);
    }
}

TEST(Icon, WindowIconIsTheLargestThemeSize) {
    const int largest = *std::max_element(std::begin(SIZES), std::end(SIZES));
    const QImage compiled(QStringLiteral(":/lumaret.png"));
    ASSERT_FALSE(compiled.isNull());
    EXPECT_EQ(Premultiplied(compiled), Premultiplied(QImage(PngPath(largest))));
}

TEST(Icon, ThemeLookupFindsItAtEverySize) {
    // The drawn tree under the hicolor index that desktops read, as an install lays it out.
    QTemporaryDir themes;
    ASSERT_TRUE(themes.isValid());
    const QString hicolor = themes.path() + QStringLiteral("/hicolor/");
    ASSERT_TRUE(QDir().mkpath(hicolor));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMARET_HICOLOR_INDEX), hicolor + "index.theme"))
        << "the hicolor index " LUMARET_HICOLOR_INDEX " (package hicolor-icon-theme) is missing";
    for (const int size : SIZES) {
        const QString apps = hicolor + QStringLiteral("%1x%1/apps").arg(size);
        ASSERT_TRUE(QDir().mkpath(apps));
        ASSERT_TRUE(QFile::copy(PngPath(size), apps + QStringLiteral("/lumaret.png")));
    }
    ASSERT_TRUE(QDir().mkpath(hicolor + QStringLiteral("scalable/apps")));
    ASSERT_TRUE(QFile::copy(SvgPath(), hicolor + QStringLiteral("scalable/apps/lumaret.svg")));

    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setFallbackSearchPaths({});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QIcon icon = QIcon::fromTheme(QStringLiteral("lumaret"));
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> available = icon.availableSizes();
    for (const int size : SIZES) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(available.contains(QSize(size, size)));
        // At a theme size the theme hands out the picture at that size (from the size's
        // own file or, where the scalable directory matches the size too, from the SVG).
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_LT(MeanDifference(image, QImage(PngPath(size))), 1.0);
    }
}

} // namespace
