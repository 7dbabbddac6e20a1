// The about box as laid out: its panels, pictures, fonts and what its labels
// show of the program's own version record (linked in, as the program
// links it); OK and the close box end it.

#include "ui/dialogs/AboutForm.h"
#include "widgets/version/VersionLabel.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {

template <typename T>
T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

}  // namespace

class TestAboutForm : public QObject {
    Q_OBJECT

private slots:
    void laidOutAsDesigned() {
        TAboutForm about;
        QCOMPARE(about.windowTitle(), QStringLiteral("AboutForm"));
        QCOMPARE(about.size(), QSize(406, 354));
        QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
        QCOMPARE(about.font().family(), QStringLiteral("Arial"));
        QCOMPARE(about.font().pixelSize(), 17);
        const struct {
            const char* name;
            QRect geometry;
        } controls[] = {
            {"Panel1", {0, 0, 169, 137}},         {"Image1", {10, 10, 150, 122}},
            {"Panel2", {176, 0, 225, 137}},       {"Label1", {8, 8, 201, 121}},
            {"Panel3", {5, 143, 396, 154}},       {"VersionLabel1", {28, 3, 340, 31}},
            {"VersionLabel2", {32, 46, 335, 28}}, {"BitBtn1", {304, 304, 85, 44}},
        };
        for (const auto& c : controls)
            QCOMPARE(child<QWidget>(&about, c.name)->geometry(), c.geometry);
        QCOMPARE(child<QLabel>(&about, "Image1")->pixmap().size(), QSize(150, 122));
        const QImage logo(QStringLiteral(":/ui/dialogs/pictures/logo.png"));
        QCOMPARE(logo.format(), QImage::Format_Indexed8);  // 256 colours
        QVERIFY(logo.colorCount() <= 256);

        auto* maker = child<QLabel>(&about, "Label1");
        QCOMPARE(maker->text(), QStringLiteral("Kaverin"));
        QVERIFY(maker->wordWrap());
        QCOMPARE(maker->font().pixelSize(), 30);
        QVERIFY(maker->font().bold() && maker->font().italic());
        QCOMPARE(maker->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        auto* makerPanel = child<QFrame>(&about, "Panel2");
        QCOMPARE(makerPanel->palette().color(QPalette::Window), QColor(0, 128, 128));
        QVERIFY(makerPanel->autoFillBackground());
        for (const char* name : {"Panel2", "Panel3"})
            QCOMPARE(child<QFrame>(&about, name)->frameShadow(), QFrame::Sunken);

        auto* ok = child<QPushButton>(&about, "BitBtn1");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(!ok->icon().isNull());
        QVERIFY(ok->isDefault());
    }

    void labelsShowTheProgramsRecord() {
        TAboutForm about;
        const struct {
            const char* name;
            const char* text;
            const char* family;
            int pixels;
            bool bold, italic, autoSize;
        } labels[] = {
            {"VersionLabel1", "Quillory", "Times New Roman", 27, true, true, false},
            {"VersionLabel2", "Product Version: 1.2.1.1", "Times New Roman", 20, true, false,
             false},
            {"VersionLabel3", "Legal Copyright: © 2026 Kaverin. All rights reserved.",
             "Times New Roman", 13, false, false, true},
        };
        for (const auto& l : labels) {
            auto* label = child<TVersionLabel>(&about, l.name);
            QCOMPARE(label->text(), QString::fromUtf8(l.text));
            QCOMPARE(label->font().family(), QString::fromLatin1(l.family));
            QCOMPARE(label->font().pixelSize(), l.pixels);
            QCOMPARE(label->font().bold(), l.bold);
            QCOMPARE(label->font().italic(), l.italic);
            QCOMPARE(label->autoSize(), l.autoSize);
        }
        auto* legal = child<TVersionLabel>(&about, "VersionLabel3");
        QCOMPARE(legal->pos(), QPoint(10, 335));
        QCOMPARE(legal->size(), legal->sizeHint());  // sized to its text
        // Clear of the OK button beside it and inside the form.
        QVERIFY(legal->geometry().right() < child<QWidget>(&about, "BitBtn1")->x());
        QVERIFY(legal->geometry().bottom() < about.height());
        for (const char* name : {"VersionLabel1", "VersionLabel2"})
            QCOMPARE(child<TVersionLabel>(&about, name)->alignment() & Qt::AlignHorizontal_Mask,
                     Qt::AlignHCenter);
    }

    void okAndTheCloseBoxEndIt() {
        {
            TAboutForm about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTest::mouseClick(child<QPushButton>(&about, "BitBtn1"), Qt::LeftButton);
            QCOMPARE(about.result(), int(QDialog::Accepted));
            QVERIFY(!about.isVisible());
        }
        {
            TAboutForm about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTest::keyClick(&about, Qt::Key_Return);  // OK is the default button
            QCOMPARE(about.result(), int(QDialog::Accepted));
        }
        {
            TAboutForm about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            about.close();
            QVERIFY(!about.isVisible());
        }
    }

    // With QLY_SCREENSHOT_DIR set, saves the box there.
    void screenshot() {
        const QString folder = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("QLY_SCREENSHOT_DIR not set");
        TAboutForm about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::qWait(100);
        QVERIFY(about.grab().save(folder + QStringLiteral("/about.png")));
    }
};

QTEST_MAIN(TestAboutForm)
#include "ui_about_test.moc"
