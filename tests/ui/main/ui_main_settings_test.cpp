// The program's start with a settings file it cannot read: the file is
// named once, with the cause, before the window is made.

#include "MainTestSupport.h"

#include "app/Program.h"
#include "ui/main/Main.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using qlytest::BoxCatcher;
using qlytest::Installation;

class TestStartSettings : public QObject {
    Q_OBJECT

private slots:
    void namesAnUnreadableSettingsFileOnce_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("cause");
        QTest::newRow("fifo") << "fifo"
                              << "not a regular file";
        QTest::newRow("garbage") << "garbage"
                                 << "not a registry export";
    }

    void namesAnUnreadableSettingsFileOnce() {
        QFETCH(QString, kind);
        QFETCH(QString, cause);
        BoxCatcher boxes;
        Installation installation;
        const QString file =
            QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/KVR/QLY32.reg");
        QVERIFY(QFile::remove(file));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else {
            QFile garbage(file);
            QVERIFY(garbage.open(QIODevice::WriteOnly));
            garbage.write("\x89PNG\r\n\x1a\n not settings at all\n");
        }

        // The key cannot be opened: the data path is the program's folder,
        // which holds no tables (the offer to create them is declined).
        auto program = std::make_unique<qly::Program>();
        program->start();
        QVERIFY(program->mainWindow());
        QVERIFY(!boxes.texts.isEmpty());
        const QString first = boxes.texts.first();
        QVERIFY2(first.contains(file) && first.contains(cause), qPrintable(first));
        QVERIFY(first.contains(QStringLiteral("QLY32.reg.damaged")));
        QCOMPARE(boxes.icons.first(), QMessageBox::Warning);
        for (int i = 1; i < boxes.texts.size(); ++i)
            QVERIFY2(!boxes.texts[i].contains(file), qPrintable(boxes.texts[i]));
        program.reset();
    }
};

QTEST_MAIN(TestStartSettings)
#include "ui_main_settings_test.moc"
