// Draws the program's icons in the hicolor sizes from the about box's logo:
// the logo's clipboard and quill, centred on a square of the logo's ground.
//   make_icons LOGO.png OUTDIR  ->  OUTDIR/<n>x<n>/apps/org.quillory.Quillory.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons LOGO.png OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QImage logo(QString::fromLocal8Bit(argv[1]));
    if (logo.isNull()) {
        std::fprintf(stderr, "make_icons: %s: cannot be read\n", argv[1]);
        return 1;
    }
    // A square of the logo's own ground: its height, centred on the clipboard.
    const int side = logo.height();
    const QImage square = logo.copy((logo.width() - side) / 2 - 10, 0, side, side);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "make_icons: %s: cannot be made\n", qPrintable(folder));
            return 1;
        }
        QImage icon = square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                          .convertToFormat(QImage::Format_ARGB32);
        const QString file = folder + QStringLiteral("/org.quillory.Quillory.png");
        if (!icon.save(file, "PNG")) {
            std::fprintf(stderr, "make_icons: %s: cannot be written\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
