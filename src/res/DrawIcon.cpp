// Draws the program icon, an infrared LED sending out rays, into an icon theme tree:
//   lumaret-draw-icon <output dir> <size>...
// writes <output dir>/hicolor/<size>x<size>/apps/lumaret.png for each size and
// <output dir>/hicolor/scalable/apps/lumaret.svg. The build runs it; the installed
// icons and the window's compiled-in icon are its output, so the artwork lives here only.
#include <QDir>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QSvgGenerator>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The artwork is drawn on a canvas of this many units a side.
constexpr int CANVAS = 200;

void DrawArtwork(QPainter& p) {
    // Rays: three arcs and short strokes to the upper right, in infrared red.
    const QPointF lens(78, 86);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 62 + i * 24;
        QPen pen(QColor(220 - i * 30, 30, 40, 230 - i * 50), 9 - i * 2, Qt::SolidLine,
                 Qt::RoundCap);
        p.setPen(pen);
        p.drawArc(QRectF(lens.x() - r, lens.y() - r, 2 * r, 2 * r), 5 * 16, 70 * 16);
    }
    QPen rayPen(QColor(255, 90, 60), 6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(rayPen);
    for (double deg : {15.0, 40.0, 65.0}) {
        const double a = deg * M_PI / 180.0;
        p.drawLine(QPointF(lens.x() + 40 * std::cos(a), lens.y() - 40 * std::sin(a)),
                   QPointF(lens.x() + 56 * std::cos(a), lens.y() - 56 * std::sin(a)));
    }

    // Legs.
    p.setPen(QPen(QColor(150, 155, 165), 7, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(64, 150), QPointF(64, 194));
    p.drawLine(QPointF(92, 150), QPointF(92, 182));

    // Rim and body: a dark violet dome, as IR LEDs often look.
    QLinearGradient rim(QPointF(38, 0), QPointF(118, 0));
    rim.setColorAt(0, QColor(60, 30, 80));
    rim.setColorAt(0.5, QColor(120, 70, 150));
    rim.setColorAt(1, QColor(50, 25, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawRoundedRect(QRectF(36, 136, 84, 16), 4, 4);

    QPainterPath dome;
    dome.moveTo(42, 138);
    dome.lineTo(42, 86);
    dome.arcTo(QRectF(42, 50, 72, 72), 180, -180);
    dome.lineTo(114, 138);
    dome.closeSubpath();
    QLinearGradient body(QPointF(42, 0), QPointF(114, 0));
    body.setColorAt(0, QColor(70, 35, 95, 245));
    body.setColorAt(0.45, QColor(150, 95, 180, 245));
    body.setColorAt(1, QColor(55, 28, 80, 245));
    p.setBrush(body);
    p.drawPath(dome);

    // The glowing chip inside and a highlight on the lens.
    QRadialGradient glow(lens, 26);
    glow.setColorAt(0, QColor(255, 120, 90, 255));
    glow.setColorAt(0.5, QColor(230, 40, 50, 170));
    glow.setColorAt(1, QColor(200, 20, 40, 0));
    p.setBrush(glow);
    p.drawEllipse(lens, 26, 26);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(54, 64, 14, 24));
}

bool WritePng(int size, const QString& path) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / CANVAS, double(size) / CANVAS);
    DrawArtwork(p);
    p.end();
    return image.save(path, "PNG");
}

bool WriteSvg(const QString& path) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(CANVAS, CANVAS));
    svg.setViewBox(QRect(0, 0, CANVAS, CANVAS));
    svg.setTitle(QStringLiteral("Lumaret"));
    svg.setDescription(QStringLiteral("An infrared LED sending out rays"));
    QPainter p;
    if (!p.begin(&svg)) {
        return false;
    }
    // The generator writes the painter's font into every group, and without a
    // QGuiApplication the default font has no size: give it one, so the file is valid.
    p.setFont(QFont(QStringLiteral("sans-serif"), 10));
    DrawArtwork(p);
    return p.end();
}

bool MakeDir(const QString& path) {
    if (!QDir().mkpath(path)) {
        std::fprintf(stderr, "lumaret-draw-icon: cannot create %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        int size = 0;
        const char* end = argv[i] + std::strlen(argv[i]);
        const auto [ptr, ec] = std::from_chars(argv[i], end, size);
        if (ec != std::errc() || ptr != end || size < 1 || size > 1024) {
            sizes.clear();
            break;
        }
        sizes.push_back(size);
    }
    if (sizes.empty()) {
        std::fprintf(stderr, "usage: %s <output dir> <size>...\n", argv[0]);
        return 2;
    }
    const QString theme = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor/");
    for (int size : sizes) {
        const QString dir = theme + QStringLiteral("%1x%1/apps").arg(size);
        if (!MakeDir(dir) || !WritePng(size, dir + QStringLiteral("/lumaret.png"))) {
            std::fprintf(stderr, "lumaret-draw-icon: cannot write the %d px icon\n", size);
            return 1;
        }
    }
    const QString scalable = theme + QStringLiteral("scalable/apps");
    if (!MakeDir(scalable) || !WriteSvg(scalable + QStringLiteral("/lumaret.svg"))) {
        std::fprintf(stderr, "lumaret-draw-icon: cannot write the scalable icon\n");
        return 1;
    }
    return 0;
}
