#include "widgets/help/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using qly::HelpWindow;

class TestHelpWindow : public QObject {
    Q_OBJECT

private slots:
    void showsContentsTopicsAndGoesBack();
    void reportsMissingPagesAndFolders();
    void installedPagesCoverEveryContext();

private:
    static void writePage(const QString& folder, const QString& name, const QString& title,
                          const QString& body) {
        QFile file(folder + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<html><head><title>%1</title></head><body>%2</body></html>")
                       .arg(title, body)
                       .toUtf8());
    }
};

void TestHelpWindow::showsContentsTopicsAndGoesBack() {
    QTemporaryDir dir;
    writePage(dir.path(), QStringLiteral("index.html"), QStringLiteral("Contents"),
              QStringLiteral("<a href=\"4005.html\">Location</a>"));
    writePage(dir.path(), QStringLiteral("4005.html"), QStringLiteral("Database location"),
              QStringLiteral("Where the tables are"));
    HelpWindow::setHelpFolder(dir.path());

    HelpWindow::showTopic(4005);
    HelpWindow* window = HelpWindow::instance();
    QVERIFY(window->isVisible());
    QCOMPARE(window->currentContext(), 4005);
    QCOMPARE(window->currentFile(), dir.path() + QStringLiteral("/4005.html"));
    QVERIFY(window->browser()->toPlainText().contains(QStringLiteral("Where the tables are")));
    // One title on every page (it used to add the page's title).
    QCOMPARE(window->windowTitle(), QStringLiteral("Quillory Help"));

    auto* back = window->findChild<QPushButton*>(QStringLiteral("BackButton"));
    QVERIFY(!back->isEnabled());
    window->findChild<QPushButton*>(QStringLiteral("ContentsButton"))->click();
    QCOMPARE(window->currentFile(), dir.path() + QStringLiteral("/index.html"));
    QCOMPARE(window->currentContext(), 0);
    QVERIFY(back->isEnabled());
    back->click();
    QCOMPARE(window->currentFile(), dir.path() + QStringLiteral("/4005.html"));

    // The same topic asked for twice stays one page, re-read from disk.
    writePage(dir.path(), QStringLiteral("4005.html"), QStringLiteral("Database location"),
              QStringLiteral("Changed text"));
    HelpWindow::showTopic(4005);
    QVERIFY(window->browser()->toPlainText().contains(QStringLiteral("Changed text")));
    QCOMPARE(HelpWindow::instance(), window);
}

void TestHelpWindow::reportsMissingPagesAndFolders() {
    QTemporaryDir dir;
    writePage(dir.path(), QStringLiteral("index.html"), QStringLiteral("Contents"),
              QStringLiteral("x"));
    HelpWindow::setHelpFolder(dir.path());
    HelpWindow::showTopic(4999);
    const QString page = HelpWindow::instance()->browser()->toPlainText();
    QVERIFY2(page.contains(QStringLiteral("could not be found")), qPrintable(page));
    QVERIFY(page.contains(QStringLiteral("4999.html")));

    HelpWindow::setHelpFolder(dir.path() + QStringLiteral("/nowhere"));
    HelpWindow::showContents();
    const QString folder = HelpWindow::instance()->browser()->toPlainText();
    QVERIFY2(folder.contains(QStringLiteral("does not exist")), qPrintable(folder));
    QVERIFY(folder.contains(dir.path() + QStringLiteral("/nowhere")));
}

void TestHelpWindow::installedPagesCoverEveryContext() {
    // The build copies the help pages beside the executables' build tree.
    const QString folder = QStringLiteral(QLY_BINARY_DIR "/help");
    HelpWindow::setHelpFolder(QString());
    QCOMPARE(QDir(HelpWindow::helpFolder()).absolutePath(), QDir(folder).absolutePath());
    for (const char* name :
         {"index", "4001", "4002", "4003", "4004", "4005", "4006", "3005", "1000"}) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".html"));
        QVERIFY2(file.open(QIODevice::ReadOnly), name);
        QTextDocument document;
        document.setHtml(QString::fromUtf8(file.readAll()));
        QVERIFY2(!document.metaInformation(QTextDocument::DocumentTitle).isEmpty(), name);
        QVERIFY2(document.toPlainText().size() > 200, name);
    }
}

QTEST_MAIN(TestHelpWindow)
#include "ui_helpwindow_test.moc"
