// Draws the pictures of the main window's button bar, on a 32 x 32 grid, into
// 128 x 128 images: the buttons show them at 32 x 32 on the design screen and
// larger or smaller as the window is scaled, always from a sharp picture.
// Not part of the build: run it by hand when a picture changes, then commit
// the PNG files.
//   g++ -std=c++20 -fPIC make_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_pictures
//   QT_QPA_PLATFORM=offscreen ./make_pictures .
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cmath>
#include <functional>

namespace {

constexpr int kGrid = 32;     // the drawings' units
constexpr int kPixels = 128;  // the images' size

void save(const QString& dir, const QString& name, const std::function<void(QPainter&)>& draw) {
    QImage image(kPixels, kPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(static_cast<double>(kPixels) / kGrid, static_cast<double>(kPixels) / kGrid);
    draw(p);
    p.end();
    image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

const QColor kOutline(40, 48, 60);
const QColor kTeal(0, 128, 128);

// Switch view: a sheet with rows (list) beside a card (detail).
void drawView(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(250, 250, 245));
    p.drawRoundedRect(QRectF(2.5, 4.5, 17, 23), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawRect(QRectF(4, 6, 14, 3));
    p.setBrush(QColor(120, 130, 140));
    for (int i = 0; i < 5; ++i)
        p.drawRect(QRectF(4, 11 + i * 3.2, 14, 1.6));
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(255, 236, 170));
    p.drawRoundedRect(QRectF(14.5, 10.5, 15, 18), 1.5, 1.5);
    p.setPen(QPen(QColor(150, 110, 30), 1.4));
    p.drawLine(QPointF(17, 15), QPointF(27, 15));
    p.drawLine(QPointF(17, 19), QPointF(25, 19));
    p.drawLine(QPointF(17, 23), QPointF(27, 23));
}

// Maintenance: a floppy disk with a spanner across it.
void drawMaintenance(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(60, 90, 170));
    QPainterPath disk;
    disk.moveTo(3.5, 3.5);
    disk.lineTo(23.5, 3.5);
    disk.lineTo(28.5, 8.5);
    disk.lineTo(28.5, 28.5);
    disk.lineTo(3.5, 28.5);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(QColor(210, 215, 225));
    p.drawRect(QRectF(8.5, 3.5, 13, 9));
    p.setBrush(QColor(60, 90, 170));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(17, 5, 3, 6));
    p.setBrush(QColor(250, 250, 250));
    p.setPen(QPen(kOutline, 1));
    p.drawRect(QRectF(7.5, 17.5, 17, 11));
    // spanner
    p.save();
    p.translate(20, 19);
    p.rotate(-45);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(190, 195, 200));
    p.drawRoundedRect(QRectF(-2, -2, 16, 4), 1.5, 1.5);
    QPainterPath head;
    head.addEllipse(QPointF(-3, 0), 5.5, 5.5);
    QPainterPath notch;
    notch.addRect(QRectF(-9, -2, 6, 4));
    p.drawPath(head.subtracted(notch));
    p.restore();
}

// Preferences: a gear.
void drawPreferences(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(150, 160, 175));
    const QPointF c(16, 16);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i / double(teeth * 4)) * 2 * 3.14159265358979 - 0.2;
        const double r = (i % 4 < 2) ? 13.5 : 10.0;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 4.5, 4.5);
    p.drawPath(gear.subtracted(hole));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.drawEllipse(c, 7.5, 7.5);
}

// Reports: a printer with a printed page.
void drawReports(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8.5, 2.5, 15, 11));
    p.setBrush(QColor(170, 175, 185));
    p.drawRoundedRect(QRectF(2.5, 11.5, 27, 12), 2, 2);
    p.setBrush(QColor(60, 180, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(25, 15), 1.3, 1.3);
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 18.5, 17, 11));
    p.setPen(QPen(kTeal, 1.2));
    p.drawLine(QPointF(10, 22), QPointF(22, 22));
    p.drawLine(QPointF(10, 25), QPointF(19, 25));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.drawLine(QPointF(11, 6), QPointF(21, 6));
    p.drawLine(QPointF(11, 9), QPointF(18, 9));
}

// Exit: an open door with an arrow leaving through it.
void drawExit(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(90, 60, 35));
    p.drawRect(QRectF(4.5, 3.5, 16, 25));
    p.setBrush(QColor(190, 130, 70));
    QPainterPath door;
    door.moveTo(4.5, 3.5);
    door.lineTo(14.5, 6.5);
    door.lineTo(14.5, 30.5);
    door.lineTo(4.5, 28.5);
    door.closeSubpath();
    p.drawPath(door);
    p.setBrush(QColor(240, 200, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(12.5, 18), 1.2, 1.2);
    p.setPen(QPen(QColor(200, 30, 30), 1));
    p.setBrush(QColor(220, 50, 40));
    QPainterPath arrow;
    arrow.moveTo(17, 14);
    arrow.lineTo(24, 14);
    arrow.lineTo(24, 10);
    arrow.lineTo(30.5, 17);
    arrow.lineTo(24, 24);
    arrow.lineTo(24, 20);
    arrow.lineTo(17, 20);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    save(dir, QStringLiteral("view"), drawView);
    save(dir, QStringLiteral("maintenance"), drawMaintenance);
    save(dir, QStringLiteral("preferences"), drawPreferences);
    save(dir, QStringLiteral("reports"), drawReports);
    save(dir, QStringLiteral("exit"), drawExit);
    return 0;
}
