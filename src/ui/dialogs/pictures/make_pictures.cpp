// Draws the about box's pictures: the maker's logo (150 x 122, 256 colours)
// and the OK button's check mark. Not part of the build: run it by hand when
// a picture changes, then commit the PNG files.
//   g++ -std=c++20 -fPIC make_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_pictures
//   QT_QPA_PLATFORM=offscreen ./make_pictures .
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace {

const QColor kOutline(40, 48, 60);

// A clipboard with an inventory list being ticked off by a quill, on a
// teal ground.
QImage drawLogo() {
    QImage image(150, 122, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient ground(0, 0, 150, 122);
    ground.setColorAt(0, QColor(0, 140, 140));
    ground.setColorAt(1, QColor(16, 44, 96));
    p.fillRect(image.rect(), ground);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 28));
    p.drawEllipse(QPointF(40, 30), 70, 52);

    // The clipboard.
    p.setBrush(QColor(120, 78, 40));
    p.setPen(QPen(QColor(70, 44, 20), 1.2));
    p.drawRoundedRect(QRectF(18.5, 14.5, 78, 98), 5, 5);
    p.setBrush(QColor(252, 249, 236));
    p.setPen(QPen(QColor(180, 170, 140), 1));
    p.drawRect(QRectF(24.5, 22.5, 66, 84));
    p.setBrush(QColor(170, 175, 185));
    p.setPen(QPen(kOutline, 1.2));
    p.drawRoundedRect(QRectF(42.5, 9.5, 30, 12), 3, 3);
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(57.5, 13.5), 2, 2);

    // The list: boxes with ticks and lines of writing.
    for (int row = 0; row < 5; ++row) {
        const qreal y = 32 + row * 14.5;
        p.setPen(QPen(QColor(60, 70, 90), 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(30.5, y, 9, 9));
        p.setPen(QPen(QColor(120, 130, 150), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(45, y + 4.5), QPointF(row % 2 ? 72 : 82, y + 4.5));
        if (row < 3) {
            QPainterPath tick;
            tick.moveTo(31.5, y + 4.5);
            tick.lineTo(34.5, y + 8);
            tick.lineTo(41, y - 1.5);
            p.setPen(QPen(QColor(20, 150, 60), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        }
    }

    // The quill, its nib at the fourth box.
    const QPointF nib(44, 80);
    p.save();
    p.translate(nib);
    p.rotate(-50);
    QPainterPath vane;
    vane.moveTo(6, 0);
    vane.cubicTo(30, -16, 70, -18, 104, -4);
    vane.cubicTo(80, 6, 40, 12, 6, 0);
    QLinearGradient feather(0, -14, 0, 10);
    feather.setColorAt(0, QColor(255, 255, 255));
    feather.setColorAt(1, QColor(200, 214, 226));
    p.setBrush(feather);
    p.setPen(QPen(QColor(90, 110, 130), 1));
    p.drawPath(vane);
    p.setPen(QPen(QColor(140, 155, 170), 0.8));
    for (int i = 0; i < 9; ++i) {
        const qreal x = 22 + i * 9;
        p.drawLine(QPointF(x, 0), QPointF(x + 8, -9 + (i > 5 ? 2 : 0)));
        p.drawLine(QPointF(x, 0), QPointF(x + 7, 6));
    }
    p.setPen(QPen(QColor(110, 90, 60), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 0), QPointF(108, -3));
    QPainterPath point;
    point.moveTo(0, 0);
    point.lineTo(8, -2.5);
    point.lineTo(8, 2.5);
    point.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 40));
    p.drawPath(point);
    p.restore();

    // A stroke of ink from the nib.
    p.setPen(QPen(QColor(25, 40, 110), 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath ink;
    ink.moveTo(nib);
    ink.cubicTo(QPointF(50, 84), QPointF(58, 78), QPointF(66, 81));
    p.drawPath(ink);
    p.end();
    return image.convertToFormat(QImage::Format_Indexed8);
}

// The OK button's glyph: a green check mark.
QImage drawCheck() {
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(3, 11);
    tick.lineTo(8, 16);
    tick.lineTo(17, 4);
    p.setPen(QPen(QColor(0, 90, 20), 4.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.setPen(QPen(QColor(40, 180, 60), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.end();
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = drawLogo().save(dir + QStringLiteral("/logo.png")) &&
                    drawCheck().save(dir + QStringLiteral("/ok.png"));
    return ok ? 0 : 1;
}
