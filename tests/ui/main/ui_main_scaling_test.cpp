// The main window and its dialogs fitted to the screen: run once on the
// design screen (1152 x 864) and once on 800 x 600 (QLY_SCREEN names the
// screen). Placement at the start, the layout file qly32.ini across runs,
// maximise and restore, the list view's grid.

#include "MainTestSupport.h"

#include "app/Application.h"
#include "app/Program.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/Maint.h"
#include "ui/dialogs/Preferences.h"
#include "ui/main/Main.h"
#include "widgets/FormLayout.h"
#include "widgets/FormScaler.h"
#include "widgets/data/DBGrid.h"

#include <QHeaderView>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using qlytest::BoxCatcher;
using qlytest::child;
using qlytest::Installation;

namespace {

// What each screen gives the forms: outer bounds, centred, from the design
// sizes 870 x 676 (main window), 505 x 352 (preferences), 525 x 354
// (maintenance), 414 x 381 (about box) times 800 / 1152 = 600 / 864 on the
// smaller screen.
struct Expected {
    QSize screen;
    QRect main;
    QRect preferences;
    QRect maintenance;
    QRect about;
};

const Expected kScreens[] = {
    {QSize(1152, 864), QRect(141, 94, 870, 676), QRect(323, 256, 505, 352),
     QRect(313, 255, 525, 354), QRect(369, 241, 414, 381)},
    {QSize(800, 600), QRect(98, 65, 604, 469), QRect(224, 178, 351, 244), QRect(217, 177, 365, 246),
     QRect(256, 167, 288, 265)},
};

const Expected& expected() {
    const QSize size = QGuiApplication::primaryScreen()->size();
    for (const Expected& e : kScreens) {
        if (e.screen == size)
            return e;
    }
    qFatal("no expectations for this screen");
    return kScreens[0];
}

QRect outer(const QWidget* window) {
    return window->frameGeometry().translated(-window->screen()->availableGeometry().topLeft());
}

}  // namespace

class TestMainScaling : public QObject {
    Q_OBJECT

private:
    // Starts the program on the installation and shows the main window.
    std::unique_ptr<qly::Program> start() {
        auto program = std::make_unique<qly::Program>();
        if (!program->start())
            qFatal("the program did not start");
        program->mainWindow()->show();
        if (!QTest::qWaitForWindowActive(program->mainWindow()))
            qWarning("window not active");
        return program;
    }

    static QString layoutFile() { return QDir::current().filePath(QStringLiteral("qly32.ini")); }

private slots:
    void startsCentredAtTheTargetSize() {
        BoxCatcher boxes;
        Installation installation;
        auto program = start();
        TMain* w = program->mainWindow();
        TFormScaler* scaler = w->formScaler();
        QCOMPARE(outer(w), expected().main);
        QCOMPARE(scaler->objectName(), QStringLiteral("FormScaler1"));
        QVERIFY(scaler->DBGridSelfResize());
        QCOMPARE(scaler->Version(), 401.0f);
        // The controls at their design bounds, scaled.
        QCOMPARE(child<QWidget>(w, "SpeedBar1")->geometry(), scaler->scaled(QRect(0, 0, 137, 630)));
        QCOMPARE(child<QWidget>(w, "BarButton1")->geometry(),
                 scaler->scaled(QRect(7, 380, 123, 84)));
        QCOMPARE(child<QWidget>(w, "DetailP")->geometry(), scaler->scaled(QRect(137, 0, 725, 630)));
        if (expected().screen == QSize(1152, 864))
            QCOMPARE(w->font().pixelSize(), 17);
        // The layout file is there after the first show, for this window's
        // controls.
        QVERIFY(FormLayout::read(layoutFile(), static_cast<int>(scaler->frames().size())));
        QVERIFY(boxes.texts.isEmpty());
    }

    void layoutFileKeepsThePlaceAcrossRuns() {
        BoxCatcher boxes;
        Installation installation;
        QRect moved;
        {
            auto program = start();
            TMain* w = program->mainWindow();
            w->setGeometry(QRect(w->geometry().topLeft() + QPoint(-40, 20), QSize(560, 430)));
            moved = outer(w);
        }
        {
            auto program = start();
            TMain* w = program->mainWindow();
            QCOMPARE(outer(w), moved);
            w->showMaximized();
            QTRY_COMPARE(outer(w).size(), expected().screen);
            QTRY_COMPARE(
                FormLayout::read(layoutFile(), int(w->formScaler()->frames().size()))->state,
                FormLayout::kStateMaximized);
        }
        // Maximised again at the next start; a restore goes back to the
        // place of the first run.
        auto program = start();
        TMain* w = program->mainWindow();
        QTRY_VERIFY(w->isMaximized());
        QTRY_COMPARE(outer(w).size(), expected().screen);
        w->showNormal();
        QTRY_COMPARE(outer(w), moved);
    }

    void resizingKeepsTheListView() {
        BoxCatcher boxes;
        Installation installation;
        auto program = start();
        TMain* w = program->mainWindow();
        auto* grid = child<DBGrid>(w, "DBGrid1");
        child<QToolButton>(w, "BarButton2")->click();
        QVERIFY(w->listViewShown());
        grid->setCurrentIndex(grid->model()->index(20, 1));
        const int row = grid->verticalHeader()->defaultSectionSize();
        const int font = grid->font().pixelSize();

        w->showMaximized();
        QTRY_COMPARE(outer(w).size(), expected().screen);
        QVERIFY(w->listViewShown());
        QVERIFY(child<QWidget>(w, "DetailP")->isHidden());
        QCOMPARE(child<QToolButton>(w, "BarButton2")->text(), QStringLiteral("Detail View"));
        // The grid sizes its columns from its font; rows and font follow.
        QVERIFY(grid->font().pixelSize() > font);
        QVERIFY(grid->verticalHeader()->defaultSectionSize() > row);
        QCOMPARE(grid->columnWidth(0), grid->columnWidthForChars(20));
        QCOMPARE(grid->columnWidth(4), grid->columnWidthForChars(10));
        QCOMPARE(grid->geometry().size(), child<QWidget>(w, "Panel3")->size());
        // The rows took their new height without losing the current one.
        QCOMPARE(grid->currentIndex().row(), 20);
        QCOMPARE(grid->verticalHeader()->count(), grid->model()->rowCount());
        QCOMPARE(grid->verticalHeader()->selectionModel(), grid->selectionModel());
        QCOMPARE(grid->rowViewportPosition(1) - grid->rowViewportPosition(0),
                 grid->verticalHeader()->defaultSectionSize());

        w->showNormal();
        QTRY_COMPARE(outer(w), expected().main);
        QVERIFY(w->listViewShown());
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), row);
        QCOMPARE(grid->font().pixelSize(), font);
    }

    void dialogsStartCentredAtTheirSize() {
        BoxCatcher boxes;
        Installation installation;
        auto program = start();
        TMain* w = program->mainWindow();
        child<QToolButton>(w, "BarButton4")->click();
        child<QToolButton>(w, "BarButton3")->click();
        auto* preferences = w->findChild<TPreferences*>();
        auto* maintenance = w->findChild<TMaint*>();
        QVERIFY(preferences && maintenance);
        QVERIFY(QTest::qWaitForWindowExposed(maintenance));
        const struct {
            QWidget* dialog;
            QRect bounds;
            QRect pages;  // PageControl1 at design size
        } dialogs[] = {{preferences, expected().preferences, QRect(0, 0, 497, 325)},
                       {maintenance, expected().maintenance, QRect(0, 0, 517, 327)}};
        for (const auto& d : dialogs) {
            auto* scaler = d.dialog->findChild<TFormScaler*>(QStringLiteral("FormScaler1"));
            QVERIFY(scaler);
            QCOMPARE(outer(d.dialog), d.bounds);
            // Still of a fixed size, the new one.
            QCOMPARE(d.dialog->minimumSize(), d.dialog->maximumSize());
            QCOMPARE(d.dialog->minimumSize(), d.dialog->size());
            QCOMPARE(child<QTabWidget>(d.dialog, "PageControl1")->geometry(),
                     scaler->scaled(d.pages));
            QCOMPARE(d.dialog->font(), scaler->Font());
        }
    }

    void aboutBoxOpensCentredAtItsSize() {
        BoxCatcher boxes;
        Installation installation;
        auto program = start();
        TMain* w = program->mainWindow();
        QRect bounds;
        bool scaled = false;
        QPointer<TAboutForm> box;
        // The box is modal: look at it once it is up, then close it with OK.
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            auto* about = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
            if (!about || !about->isVisible() || box)
                return;
            box = about;
            scaled = about->findChild<TFormScaler*>(QStringLiteral("FormScaler1")) != nullptr;
            bounds = outer(about);
            QTest::mouseClick(child<QPushButton>(about, "BitBtn1"), Qt::LeftButton);
        });
        poll.start(10);
        auto* bar = w->menuBar();
        QAction* helpMenu = child<QMenu>(w, "Help1")->menuAction();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(helpMenu).center());
        QMenu* menu = helpMenu->menu();
        QTRY_VERIFY(menu->isVisible());
        QAction* about = child<QAction>(w, "About1");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
        QTRY_VERIFY(box.isNull() && bounds.isValid());
        QVERIFY(scaled);
        QCOMPARE(bounds, expected().about);
    }
};

int main(int argc, char** argv) {
    const QByteArray screen = qgetenv("QLY_SCREEN").isEmpty() ? "1152x864" : qgetenv("QLY_SCREEN");
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" QLY_FIXTURES_DIR "/screens/" + screen + ".json");
    QlyApplication application(argc, argv);
    TestMainScaling test;
    return QTest::qExec(&test, argc, argv);
}

#include "ui_main_scaling_test.moc"
