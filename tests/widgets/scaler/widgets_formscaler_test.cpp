// The form scaler on small test forms, on three offscreen screens (the
// design screen 1152 x 864, 800 x 600 and 1920 x 1080): placement at the
// first show, rescaling of bounds and fonts on real resize, maximise,
// restore and drag events, the layout file, grids, bars, labels, the
// background picture and the size limits.

#include "widgets/FormLayout.h"
#include "widgets/FormScaler.h"
#include "widgets/data/DBGrid.h"

#include "data/Error.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <cmath>
#include <memory>

using qly::scaling::fontSize;
using qly::scaling::nearest;

namespace {

constexpr int kFrame = 2;  // the offscreen platform's window frame, each side

QScreen* screenSized(int width, int height) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->size() == QSize(width, height))
            return screen;
    }
    qFatal("no %dx%d screen", width, height);
    return nullptr;
}

QScreen* designScreen() {
    return screenSized(1152, 864);
}

// A form on a screen, with named controls added by the test, and its
// scaler once the controls exist.
struct Form {
    explicit Form(QScreen* screen = designScreen(), QSize client = QSize(400, 300)) {
        widget = std::make_unique<QWidget>(nullptr, Qt::Window);
        widget->setObjectName(QStringLiteral("Form1"));
        widget->setScreen(screen);
        widget->resize(client);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(10);
        widget->setFont(font);
    }

    template <typename T>
    T* add(const char* name, QRect bounds, QWidget* parent = nullptr) {
        auto* control = new T(parent ? parent : widget.get());
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        return control;
    }

    // Designed on the design screen at the form's size, or as given.
    TFormScaler* scale(QSize designScreen = QSize(1152, 864), QRect outer = QRect(),
                       QSize client = QSize()) {
        scaler = new TFormScaler(widget.get());
        if (client.isEmpty())
            client = widget->size();
        if (outer.isEmpty())
            outer = QRect(100, 100, client.width() + 2 * kFrame, client.height() + 2 * kFrame);
        scaler->setDesignMetrics(designScreen, 120, outer, client);
        return scaler;
    }

    bool showActive() {
        widget->show();
        return QTest::qWaitForWindowActive(widget.get());
    }

    // The form's outer bounds relative to its screen's available area.
    QRect outer() const {
        return widget->frameGeometry().translated(-widget->screen()->availableGeometry().topLeft());
    }

    // Gives the form an outer size as a program would.
    void resizeOuter(int width, int height) {
        widget->resize(width - 2 * kFrame, height - 2 * kFrame);
    }

    std::unique_ptr<QWidget> widget;
    TFormScaler* scaler = nullptr;
};

QRect scaledBy(QRect captured, double h, double v) {
    return QRect(nearest(captured.x() * h), nearest(captured.y() * v),
                 nearest(captured.width() * h), nearest(captured.height() * v));
}

QFont pointFont(int size) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(size);
    return font;
}

QFont pixelFont(int size) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(size);
    return font;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A control with a second font of its own, as a property.
class CaptionBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QFont captionFont READ captionFont WRITE setCaptionFont)

public:
    using QWidget::QWidget;
    QFont captionFont() const { return m_caption; }
    void setCaptionFont(const QFont& font) { m_caption = font; }

private:
    QFont m_caption = pointFont(10);
};

}  // namespace

class TestFormScaler : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void conversions_data();
    void conversions();
    void ownerIsOneFormWithOneScaler();
    void firstShowPlacesTheForm_data();
    void firstShowPlacesTheForm();
    void fontsFollowTheForm_data();
    void fontsFollowTheForm();
    void formFontAlwaysWins();
    void sizesSnapBackUntilTheUserPhase();
    void dragRescalesOnceAtItsEnd();
    void maximiseAndRestore();
    void layoutFileRoundTrip();
    void layoutFileMaximised();
    void layoutFileOfAnotherFormIsIgnored_data();
    void layoutFileOfAnotherFormIsIgnored();
    void layoutRecordRefusesDamage_data();
    void layoutRecordRefusesDamage();
    void layoutFileNeverFollowsALinkOut();
    void dataGridKeepsItsColumnsRowsFollow();
    void plainGridsScaleColumnsAndLowerTheFont();
    void statusBarPanelsAndToolBarButtons();
    void labelsGrowButNeverShrink();
    void extraFontsScale();
    void backgroundPicture();
    void sizeLimitsAndProportions();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
};

void TestFormScaler::init() {
    // Each test in its own working folder, where layout files go.
    m_folder = std::make_unique<QTemporaryDir>();
    m_previousFolder = QDir::currentPath();
    QDir::setCurrent(m_folder->path());
}

void TestFormScaler::cleanup() {
    QDir::setCurrent(m_previousFolder);
    m_folder.reset();
}

void TestFormScaler::conversions_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("nearest");
    QTest::addColumn<int>("truncated");
    QTest::addColumn<int>("halfdown");
    QTest::newRow("10.5") << 10.5 << 10 << 10 << 10;
    QTest::newRow("11.5") << 11.5 << 12 << 11 << 11;
    QTest::newRow("10.51") << 10.51 << 11 << 10 << 11;
    QTest::newRow("10.49") << 10.49 << 10 << 10 << 10;
    QTest::newRow("-10.5") << -10.5 << -10 << -10 << -10;
    QTest::newRow("-10.6") << -10.6 << -11 << -10 << -10;
    QTest::newRow("2.5") << 2.5 << 2 << 2 << 2;
    QTest::newRow("not a number") << std::nan("") << 0 << 0 << 0;
}

void TestFormScaler::conversions() {
    QFETCH(double, x);
    QFETCH(int, nearest);
    QFETCH(int, truncated);
    QFETCH(int, halfdown);
    QCOMPARE(qly::scaling::nearest(x), nearest);
    QCOMPARE(qly::scaling::truncated(x), truncated);
    QCOMPARE(qly::scaling::halfdown(x), halfdown);
}

void TestFormScaler::ownerIsOneFormWithOneScaler() {
    const auto message = [](QWidget* owner) -> QString {
        try {
            new TFormScaler(owner);
        } catch (const QlyError& error) {
            return QString::fromStdString(error.what());
        }
        return QString();
    };
    Form form;
    auto* child = form.add<QWidget>("Panel1", QRect(0, 0, 10, 10));
    QCOMPARE(message(nullptr), QString::fromLatin1(TFormScaler::kOwnerMustBeForm));
    QCOMPARE(message(child), QString::fromLatin1(TFormScaler::kOwnerMustBeForm));
    QVERIFY(child->findChildren<TFormScaler*>().isEmpty());
    form.scale();
    QCOMPARE(message(form.widget.get()),
             QStringLiteral("A TFormScaler component already exists in Form1"));
    QCOMPARE(form.widget->findChildren<TFormScaler*>().size(), 1);
}

void TestFormScaler::firstShowPlacesTheForm_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<bool>("centred");
    QTest::addColumn<QRect>("design");  // outer bounds on the design screen
    QTest::addColumn<QRect>("placed");  // outer bounds on the screen
    QTest::addColumn<QRect>("button");  // Button1, designed at 100, 50, 200 x 40
    QTest::addColumn<int>("formFont");  // pixels, designed at 17
    QTest::addColumn<int>("ownFont");   // pixels, designed at 20
    const QRect main(257, 109, 870, 676);
    // The client is the outer size less the 2-pixel frame, against a
    // baseline of the design client (862 x 630) times the screen ratios.
    QTest::newRow("design screen") << QSize(1152, 864) << true << main << QRect(141, 94, 870, 676)
                                   << QRect(100, 53, 201, 43) << 17 << 20;
    // 800 / 1152 = 600 / 864: client 600 x 465, baseline 599 x 438; the
    // font 17 x 0.694 = 11.8 gives 12 by halfdown.
    QTest::newRow("800 x 600") << QSize(800, 600) << true << main << QRect(98, 65, 604, 469)
                               << QRect(69, 37, 139, 30) << 12 << 13;
    // Ratios 1.667 and 1.25: client 1446 x 841, baseline 1437 x 788.
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << true << main << QRect(235, 117, 1450, 845)
                                 << QRect(168, 66, 335, 53) << 25 << 28;
    QTest::newRow("design position") << QSize(800, 600) << false << main << QRect(178, 76, 604, 469)
                                     << QRect(69, 37, 139, 30) << 12 << 13;
    QTest::newRow("beyond the right edge")
        << QSize(1152, 864) << false << QRect(1000, 109, 870, 676) << QRect(141, 109, 870, 676)
        << QRect(100, 53, 201, 43) << 17 << 20;
    QTest::newRow("wider than the screen")
        << QSize(1152, 864) << false << QRect(10, 20, 1300, 676) << QRect(0, 20, 1300, 676)
        << QRect(100, 53, 201, 43) << 17 << 20;
}

void TestFormScaler::firstShowPlacesTheForm() {
    QFETCH(QSize, screen);
    QFETCH(bool, centred);
    QFETCH(QRect, design);
    QFETCH(QRect, placed);
    QFETCH(QRect, button);
    QFETCH(int, formFont);
    QFETCH(int, ownFont);
    Form form(screenSized(screen.width(), screen.height()), QSize(862, 630));
    form.widget->setFont(pixelFont(17));
    auto* button1 = form.add<QPushButton>("Button1", QRect(100, 50, 200, 40));
    auto* own = form.add<QLabel>("Label1", QRect(10, 10, 50, 20));
    own->setFont(pixelFont(20));
    const QSize client(design.width() - 8, design.height() - 46);
    form.widget->resize(client);
    TFormScaler* scaler = form.scale(QSize(1152, 864), design, client);
    scaler->setCentred(centred);
    QVERIFY(form.showActive());

    QCOMPARE(form.outer(), placed);
    QCOMPARE(scaler->rx(), screen.width() / 1152.0);
    QCOMPARE(scaler->ry(), screen.height() / 864.0);
    QCOMPARE(scaler->r(), std::sqrt(scaler->rx() * scaler->ry()));
    QCOMPARE(button1->geometry(), button);
    QCOMPARE(form.widget->font().pixelSize(), formFont);
    QCOMPARE(scaler->Font().pixelSize(), formFont);
    QCOMPARE(own->font().pixelSize(), ownFont);
}

void TestFormScaler::fontsFollowTheForm_data() {
    QTest::addColumn<QFont>("font");  // the form's and Label1's
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<int>("formFont");
    QTest::addColumn<int>("ownFont");
    // The client baseline is 400 x 300; the size is the font times the
    // smaller of outer width / 400 and outer height / 300.
    QTest::newRow("10.5 points") << pointFont(7) << QSize(600, 450) << 10 << 10;
    QTest::newRow("11.5 points") << pointFont(23) << QSize(200, 150) << 12 << 11;
    QTest::newRow("25.5 pixels") << pixelFont(17) << QSize(600, 450) << 26 << 25;
    QTest::newRow("the smaller ratio") << pointFont(7) << QSize(600, 300) << 7 << 7;
}

void TestFormScaler::fontsFollowTheForm() {
    QFETCH(QFont, font);
    QFETCH(QSize, outer);
    QFETCH(int, formFont);
    QFETCH(int, ownFont);
    Form form;
    form.widget->setFont(font);
    auto* own = form.add<QLabel>("Label1", QRect(10, 10, 80, 20));
    own->setFont(font);
    auto* inheriting = form.add<QPushButton>("Button1", QRect(10, 40, 80, 30));
    TFormScaler* scaler = form.scale();
    QVERIFY(form.showActive());
    form.resizeOuter(outer.width(), outer.height());

    const bool pixels = font.pixelSize() > 0;
    QCOMPARE(form.widget->font().pixelSize() > 0, pixels);
    QCOMPARE(fontSize(form.widget->font()), formFont);
    QCOMPARE(fontSize(scaler->Font()), formFont);
    QCOMPARE(fontSize(own->font()), ownFont);
    QCOMPARE(own->font().pixelSize() > 0, pixels);
    // A control without a font of its own follows the form's.
    QVERIFY(!inheriting->testAttribute(Qt::WA_SetFont));
    QCOMPARE(inheriting->font(), form.widget->font());
    // Bounds follow the client size.
    const double h = form.widget->width() / 400.0;
    const double v = form.widget->height() / 300.0;
    QCOMPARE(inheriting->geometry(), scaledBy(QRect(10, 40, 80, 30), h, v));
}

void TestFormScaler::formFontAlwaysWins() {
    Form form;
    TFormScaler* scaler = form.scale();
    QVERIFY(form.showActive());
    form.resizeOuter(606, 456);
    const QFont kept = scaler->Font();
    QCOMPARE(fontSize(kept), 15);
    form.widget->setFont(pointFont(30));
    QTest::qWait(20);  // the next events of the form
    QCOMPARE(form.widget->font(), kept);
}

void TestFormScaler::sizesSnapBackUntilTheUserPhase() {
    Form form;
    auto* button = form.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
    TFormScaler* scaler = form.scale();
    form.widget->show();
    // Shown but not yet activated: a size change snaps back.
    QVERIFY(!scaler->userPhase());
    const QRect placed = form.outer();
    QCOMPARE(placed, scaler->targetBounds());
    form.resizeOuter(700, 500);
    QCOMPARE(form.outer(), placed);
    QCOMPARE(button->geometry(), QRect(40, 30, 100, 30));
    // Once activated, the next change starts the user phase and stands.
    QVERIFY(QTest::qWaitForWindowActive(form.widget.get()));
    form.resizeOuter(804, 604);
    QVERIFY(scaler->userPhase());
    QCOMPARE(form.outer().size(), QSize(804, 604));
    QCOMPARE(button->geometry(), QRect(80, 60, 200, 60));
}

void TestFormScaler::dragRescalesOnceAtItsEnd() {
    Form form;
    auto* button = form.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
    TFormScaler* scaler = form.scale();
    scaler->setLayoutFile(QStringLiteral("drag.ini"));
    QVERIFY(form.showActive());
    QSignalSpy rescaled(scaler, &TFormScaler::rescaled);
    // The window system resizes the window as the user drags its border.
    for (int step = 1; step <= 4; ++step) {
        form.widget->windowHandle()->resize(400 + 50 * step, 300 + 25 * step);
        QTest::qWait(40);
        QVERIFY(scaler->dragging());
    }
    QCOMPARE(rescaled.count(), 0);
    QCOMPARE(button->geometry(), QRect(40, 30, 100, 30));
    QTRY_COMPARE(rescaled.count(), 1);
    QVERIFY(!scaler->dragging());
    QCOMPARE(form.widget->size(), QSize(600, 400));
    QCOMPARE(button->geometry(), scaledBy(QRect(40, 30, 100, 30), 1.5, 400 / 300.0));
    QTest::qWait(TFormScaler::kDragEndMs + 50);
    QCOMPARE(rescaled.count(), 1);
    std::optional<FormLayout> saved = FormLayout::read(scaler->layoutPath(), 1);
    QVERIFY(saved);
    QCOMPARE(saved->fractions[2], 604 / 1152.0);
    QCOMPARE(saved->fractions[3], 404 / 864.0);

    // Moving the window is a drag too: no rescale, the new place is saved.
    const double left = saved->fractions[0];
    form.widget->windowHandle()->setPosition(form.widget->windowHandle()->position() +
                                             QPoint(30, 0));
    QTRY_VERIFY(FormLayout::read(scaler->layoutPath(), 1)->fractions[0] != left);
    QCOMPARE(FormLayout::read(scaler->layoutPath(), 1)->fractions[0], form.outer().x() / 1152.0);
    QCOMPARE(rescaled.count(), 1);
}

void TestFormScaler::maximiseAndRestore() {
    Form form;
    auto* button = form.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
    auto* hidden = form.add<QPushButton>("Button2", QRect(40, 80, 100, 30));
    TFormScaler* scaler = form.scale();
    scaler->setLayoutFile(QStringLiteral("max.ini"));
    QVERIFY(form.showActive());
    const QRect normal = form.outer();
    // A control the program hides after the form was laid out stays hidden.
    hidden->hide();

    form.widget->showMaximized();
    QTRY_COMPARE(form.outer().size(), QSize(1152, 864));
    QVERIFY(TFormScaler::sharedMaximized());
    const QSize client = form.widget->size();
    QCOMPARE(button->geometry(),
             scaledBy(QRect(40, 30, 100, 30), client.width() / 400.0, client.height() / 300.0));
    QVERIFY(hidden->isHidden());
    // Maximised: state 2 and no fractions; the normal place kept.
    QTRY_COMPARE(readAll(scaler->layoutPath()).size(), 4 + 1 + 8 + 2 + 44);
    std::optional<FormLayout> saved = FormLayout::read(scaler->layoutPath(), 2);
    QVERIFY(saved);
    QCOMPARE(saved->state, FormLayout::kStateMaximized);
    QCOMPARE(saved->maximumTrackWidth, 0);
    QCOMPARE(saved->placement.showCmd, WindowPlacement::kShowMaximized);
    QCOMPARE(QRect(saved->placement.left, saved->placement.top,
                   saved->placement.right - saved->placement.left,
                   saved->placement.bottom - saved->placement.top),
             normal);

    form.widget->showNormal();
    QTRY_COMPARE(form.outer(), normal);
    QVERIFY(!TFormScaler::sharedMaximized());
    QCOMPARE(button->geometry(), QRect(40, 30, 100, 30));
    QVERIFY(hidden->isHidden());
    QTRY_COMPARE(FormLayout::read(scaler->layoutPath(), 2)->state, FormLayout::kStateNormal);
}

void TestFormScaler::layoutFileRoundTrip() {
    QRect left;
    {
        Form form;
        form.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
        form.scale()->setLayoutFile(QStringLiteral("qly32.ini"));
        QVERIFY(form.showActive());
        form.widget->setGeometry(QRect(QPoint(300, 200), QSize(500, 350)));
        left = form.outer();
    }
    Form again;
    auto* button = again.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
    TFormScaler* scaler = again.scale();
    scaler->setLayoutFile(QStringLiteral("qly32.ini"));
    QVERIFY(again.showActive());
    QCOMPARE(again.outer(), left);
    QCOMPARE(scaler->targetBounds(), left);
    QCOMPARE(button->geometry(), scaledBy(QRect(40, 30, 100, 30), 500 / 400.0, 350 / 300.0));
}

void TestFormScaler::layoutFileMaximised() {
    QRect normal;
    {
        Form form;
        form.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
        form.scale()->setLayoutFile(QStringLiteral("qly32.ini"));
        QVERIFY(form.showActive());
        form.widget->setGeometry(QRect(QPoint(300, 200), QSize(500, 350)));
        normal = form.outer();
        form.widget->showMaximized();
        QTRY_COMPARE(FormLayout::read(QStringLiteral("qly32.ini"), 1)->state,
                     FormLayout::kStateMaximized);
    }
    // The next run starts maximised; a restore goes back to the saved place.
    Form again;
    auto* button = again.add<QPushButton>("Button1", QRect(40, 30, 100, 30));
    again.scale()->setLayoutFile(QStringLiteral("qly32.ini"));
    QVERIFY(again.showActive());
    QTRY_VERIFY(again.widget->isMaximized());
    QTRY_COMPARE(again.outer().size(), QSize(1152, 864));
    QCOMPARE(button->width(), nearest(100 * again.widget->width() / 400.0));
    again.widget->showNormal();
    QTRY_COMPARE(again.outer(), normal);
}

void TestFormScaler::layoutFileOfAnotherFormIsIgnored_data() {
    QTest::addColumn<QByteArray>("file");
    FormLayout layout;
    layout.fractions = {0.01, 0.02, 0.5, 0.5};
    layout.visibility = QByteArray(12, '\1');
    layout.placement.right = 10;
    layout.placement.bottom = 10;
    QTest::newRow("written for 12 controls") << layout.serialize();
    layout.visibility = QByteArray(13, '\1');
    const QByteArray good = layout.serialize();
    QTest::newRow("short") << good.left(good.size() - 1);
    QTest::newRow("garbage") << QByteArray(good.size(), '\x7f');
}

void TestFormScaler::layoutFileOfAnotherFormIsIgnored() {
    QFETCH(QByteArray, file);
    QFile out(QStringLiteral("qly32.ini"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    Form form;
    for (int i = 0; i < 13; ++i)
        form.add<QPushButton>(qPrintable(QStringLiteral("Button%1").arg(i)),
                              QRect(10, 10 + 20 * i, 60, 18))
            ->setVisible(i != 3);
    TFormScaler* scaler = form.scale();
    scaler->setLayoutFile(QStringLiteral("qly32.ini"));
    QVERIFY(form.showActive());
    // The design values stand, and the file is for this form now.
    QCOMPARE(form.outer(), scaler->targetBounds());
    QCOMPARE(form.outer(), QRect(374, 280, 404, 304));
    std::optional<FormLayout> saved = FormLayout::read(QStringLiteral("qly32.ini"), 13);
    QVERIFY(saved);
    QCOMPARE(saved->visibility.at(3), '\0');
    QCOMPARE(saved->visibility.count('\1'), 12);
}

void TestFormScaler::layoutRecordRefusesDamage_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("accepted");
    FormLayout layout;
    layout.fractions = {0.25, 0.125, 0.5, 0.75};
    layout.maximumTrackWidth = -50;
    layout.visibility = QByteArray("\1\0\1", 3);
    layout.placement = WindowPlacement{44, 0, 1, -1, -1, -1, -1, 10, 20, 410, 320};
    const QByteArray normal = layout.serialize();
    layout.state = FormLayout::kStateMaximized;
    const QByteArray maximized = layout.serialize();
    QTest::newRow("normal") << normal << true;
    QTest::newRow("maximised") << maximized << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte short") << normal.left(normal.size() - 1) << false;
    QTest::newRow("one byte long") << normal + '\0' << false;
    QByteArray state = normal;
    state[4] = 1;
    QTest::newRow("unknown state") << state << false;
    QByteArray fraction = normal;
    for (int i = 5; i < 13; ++i)
        fraction[i] = '\xff';  // not a number
    QTest::newRow("fraction not a number") << fraction << false;
    QByteArray visibility = normal;
    visibility[4 + 1 + 32 + 8] = 7;
    QTest::newRow("visibility byte 7") << visibility << false;
    QByteArray placement = normal;
    placement[normal.size() - 44] = 40;
    QTest::newRow("placement length 40") << placement << false;
}

void TestFormScaler::layoutRecordRefusesDamage() {
    QFETCH(QByteArray, data);
    QFETCH(bool, accepted);
    const std::optional<FormLayout> layout = FormLayout::parse(data, 3);
    QCOMPARE(layout.has_value(), accepted);
    if (layout)
        QCOMPARE(layout->serialize(), data);
}

void TestFormScaler::layoutFileNeverFollowsALinkOut() {
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("target.ini"));
    FormLayout layout;
    layout.fractions = {0.1, 0.1, 0.5, 0.5};
    layout.visibility = QByteArray(1, '\1');
    layout.placement.right = layout.placement.bottom = 10;
    {
        QFile other(outside);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write(layout.serialize());
    }
    const QString path = QDir::current().filePath(QStringLiteral("qly32.ini"));
    QVERIFY(QFile::link(outside, path));
    QVERIFY(!FormLayout::read(path, 1));
    layout.fractions[0] = 0.2;
    QVERIFY(!layout.write(path));
    QCOMPARE(FormLayout::read(outside, 1)->fractions[0], 0.1);
    // A link to a file beside it is followed, and stays a link.
    QVERIFY(QFile::remove(path));
    QFile(QStringLiteral("real.ini")).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(QStringLiteral("real.ini"), path));
    QVERIFY(layout.write(path));
    QCOMPARE(readAll(QStringLiteral("real.ini")), layout.serialize());
    QVERIFY(QFileInfo(QStringLiteral("qly32.ini")).isSymLink());
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

void TestFormScaler::dataGridKeepsItsColumnsRowsFollow() {
    for (const bool selfResize : {true, false}) {
        Form form;
        auto* grid = form.add<DBGrid>("DBGrid1", QRect(10, 10, 380, 280));
        grid->setColumns({{QStringLiteral("NAME"), QStringLiteral("Name"), 10},
                          {QStringLiteral("CITY"), QStringLiteral("City"), 6}});
        TFormScaler* scaler = form.scale();
        scaler->setDBGridSelfResize(selfResize);
        QVERIFY(form.showActive());
        const int row = grid->verticalHeader()->defaultSectionSize();
        const int title = grid->horizontalHeader()->height();
        const int column = grid->columnWidth(0);
        QVERIFY(grid->testAttribute(Qt::WA_SetFont));

        form.resizeOuter(604, 454);  // one and a half times the client
        QCOMPARE(fontSize(grid->font()), 15);
        QCOMPARE(fontSize(grid->horizontalHeader()->font()), 15);
        QVERIFY(grid->horizontalHeader()->height() > title);
        QVERIFY(std::abs(grid->verticalHeader()->defaultSectionSize() - 1.5 * row) <= 2);
        if (selfResize)
            QCOMPARE(grid->columnWidth(0), grid->columnWidthForChars(10));
        else
            QVERIFY(std::abs(grid->columnWidth(0) - 1.5 * column) <= 2);

        // Shrunk below 80 % with its font kept: rows keep seven tenths of
        // the text height.
        scaler->setGridFontResize(false);
        form.resizeOuter(404, 154);
        QCOMPARE(fontSize(grid->font()), 10);
        const int text = grid->fontMetrics().height();
        QVERIFY(nearest(row * 0.5) < text * 0.7);
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), nearest(text * 0.7));
    }
}

void TestFormScaler::plainGridsScaleColumnsAndLowerTheFont() {
    Form form;
    auto* grid = form.add<QTableWidget>("StringGrid1", QRect(10, 10, 380, 200));
    grid->setColumnCount(3);
    grid->setRowCount(4);
    for (int j = 0; j < 3; ++j)
        grid->setColumnWidth(j, 80 + 10 * j);
    // Two columns of 64 pixels: a grid left as it came, columns unknown.
    auto* untouched = form.add<QTableWidget>("StringGrid2", QRect(10, 220, 200, 70));
    untouched->setColumnCount(2);
    untouched->setColumnWidth(0, 64);
    untouched->setColumnWidth(1, 64);
    TFormScaler* scaler = form.scale();
    QVERIFY(form.showActive());
    const int row = grid->verticalHeader()->defaultSectionSize();

    form.resizeOuter(604, 454);
    for (int j = 0; j < 3; ++j)
        QVERIFY(std::abs(grid->columnWidth(j) - (80 + 10 * j) * 1.5) <= 2);
    QVERIFY(std::abs(grid->verticalHeader()->defaultSectionSize() - 1.5 * row) <= 2);
    QCOMPARE(untouched->columnWidth(0), 64);
    QCOMPARE(untouched->columnWidth(1), 64);
    // Each vertical rescale ends one point below the scaled font.
    QCOMPARE(fontSize(scaler->Font()), 15);
    QCOMPARE(fontSize(grid->font()), 14);
    form.resizeOuter(605, 455);
    QCOMPARE(fontSize(grid->font()), 14);
}

void TestFormScaler::statusBarPanelsAndToolBarButtons() {
    Form form;
    auto* status = form.add<QStatusBar>("StatusBar1", QRect(0, 270, 400, 30));
    auto* first = new QLabel(QStringLiteral("one"));
    first->setFixedWidth(100);
    auto* second = new QLabel(QStringLiteral("two"));
    second->setFixedWidth(150);
    status->addWidget(first);
    status->addPermanentWidget(second);
    status->setSizeGripEnabled(false);
    auto* tools = form.add<QToolBar>("ToolBar1", QRect(0, 0, 400, 40));
    tools->addAction(QStringLiteral("Open"));
    tools->addAction(QStringLiteral("Save"));
    tools->widgetForAction(tools->actions().at(0))->setObjectName(QStringLiteral("OpenButton"));
    TFormScaler* scaler = form.scale();
    QVERIFY(form.showActive());
    // Tool-bar buttons are the tool bar's, not collected themselves.
    QCOMPARE(static_cast<int>(scaler->frames().size()), 2);
    const QSize button = tools->widgetForAction(tools->actions().at(1))->size();

    form.resizeOuter(604, 454);  // h = v = 1.5
    QCOMPARE(first->width(), 150);
    QCOMPARE(second->width(), 225);
    QCOMPARE(status->geometry(), QRect(0, 405, 600, 45));
    // A tool bar wider than high scales its buttons by v, truncated.
    for (QAction* action : tools->actions())
        QCOMPARE(
            tools->widgetForAction(action)->size(),
            QSize(static_cast<int>(button.width() * 1.5), static_cast<int>(button.height() * 1.5)));
    QVERIFY(tools->testAttribute(Qt::WA_SetFont));
}

void TestFormScaler::labelsGrowButNeverShrink() {
    Form form;
    auto* label = form.add<QLabel>("Label1", QRect(10, 10, 40, 20));
    label->setText(QStringLiteral("A caption wider than its place"));
    auto* fitted = form.add<QLabel>("Label2", QRect(10, 40, 300, 40));
    fitted->setText(QStringLiteral("Short"));
    fitted->setProperty("autoSize", true);
    // A picture is no caption: it keeps its scaled place.
    auto* image = form.add<QLabel>("Image1", QRect(300, 200, 60, 60));
    QPixmap picture(80, 80);
    picture.fill(Qt::darkCyan);
    image->setPixmap(picture);
    image->setScaledContents(true);
    auto* wrapped = form.add<QLabel>("Label3", QRect(10, 90, 120, 20));
    wrapped->setWordWrap(true);
    wrapped->setText(QStringLiteral("A caption that wraps over several lines of text"));
    form.scale();
    QVERIFY(form.showActive());
    QCOMPARE(label->width(), label->sizeHint().width());
    QCOMPARE(label->height(), 20);
    QCOMPARE(fitted->size(), fitted->sizeHint());
    QCOMPARE(wrapped->width(), 120);
    QCOMPARE(wrapped->height(), wrapped->heightForWidth(120));

    // Larger: the text grows with the font, the label with it.
    form.resizeOuter(804, 604);
    QCOMPARE(label->width(), label->sizeHint().width());
    QVERIFY(label->width() > 80);
    // Smaller: the label keeps at least its scaled place.
    form.resizeOuter(304, 229);
    QCOMPARE(label->width(), std::max(nearest(40 * 0.75), label->sizeHint().width()));
    QCOMPARE(label->height(), std::max(nearest(20 * 225 / 300.0), label->sizeHint().height()));
    QCOMPARE(fitted->size(), fitted->sizeHint());
    QCOMPARE(image->geometry(), QRect(225, 150, 45, 45));
}

void TestFormScaler::extraFontsScale() {
    for (const bool look : {true, false}) {
        Form form;
        auto* box = form.add<CaptionBox>("Caption1", QRect(10, 10, 100, 30));
        box->setFont(pointFont(10));
        TFormScaler* scaler = form.scale();
        scaler->setLookForExtraFonts(look);
        QVERIFY(form.showActive());
        form.resizeOuter(604, 454);
        QCOMPARE(fontSize(box->font()), 15);
        QCOMPARE(fontSize(box->captionFont()), look ? 15 : 10);
    }
}

void TestFormScaler::backgroundPicture() {
    // Three columns: red, green, blue.
    QImage tile(3, 3, QImage::Format_RGB32);
    for (int x = 0; x < 3; ++x) {
        const QColor colour = x == 0 ? Qt::red : x == 1 ? Qt::green : Qt::blue;
        for (int y = 0; y < 3; ++y)
            tile.setPixelColor(x, y, colour);
    }
    Form form;
    auto* picture = form.add<QLabel>("Image1", QRect(0, 0, 3, 3));
    picture->setPixmap(QPixmap::fromImage(tile));
    TFormScaler* scaler = form.scale();
    scaler->setBkGrndImage(picture);
    QVERIFY(picture->isHidden());
    QVERIFY(form.showActive());
    // Tiles at 0, 2, 4, ...: each overlaps its left neighbour by a pixel.
    QImage shot = form.widget->grab().toImage();
    QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(1, 0), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(2, 0), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(4, 4), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(5, 0), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(399, 299), QColor(Qt::green));  // painted to the edges
    // Aligned to the client area: stretched over the form.
    picture->setScaledContents(true);
    shot = form.widget->grab().toImage();
    QCOMPARE(shot.pixelColor(10, 150), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(200, 150), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(390, 150), QColor(Qt::blue));
}

void TestFormScaler::sizeLimitsAndProportions() {
    {
        Form form;
        TFormScaler* scaler = form.scale();
        scaler->setMinimumTrackWidth(300);
        scaler->setMinimumTrackHeight(-25);  // a quarter of 864
        scaler->setMaximumTrackWidth(-50);   // half of 1152
        QVERIFY(form.showActive());
        QCOMPARE(form.widget->minimumSize(), QSize(300 - 4, 216 - 4));
        QCOMPARE(form.widget->maximumWidth(), 576 - 4);
        QCOMPARE(form.widget->maximumHeight(), QWIDGETSIZE_MAX);
        form.resizeOuter(900, 100);
        QCOMPARE(form.outer().size(), QSize(576, 216));
    }
    // Keeping the proportions: a drag to a wider form makes it taller.
    Form form;
    TFormScaler* scaler = form.scale();
    scaler->setMaintainProportions(true);
    QVERIFY(form.showActive());
    // 864 x 404 / 304, as wide as the screen's height allows.
    QCOMPARE(scaler->MaximumTrackWidth(), 1148);
    QCOMPARE(form.widget->maximumWidth(), 1148 - 4);
    form.widget->windowHandle()->resize(600, 350);
    QTRY_VERIFY(scaler->dragging());
    QTRY_VERIFY(!scaler->dragging());
    QCOMPARE(form.outer().size(), QSize(604, nearest(604 * 304 / 404.0)));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QLY_FIXTURES_DIR "/screens/three.json");
    QApplication application(argc, argv);
    TestFormScaler test;
    return QTest::qExec(&test, argc, argv);
}

#include "widgets_formscaler_test.moc"
