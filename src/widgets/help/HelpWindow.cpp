#include "widgets/help/HelpWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#ifndef QLY_HELP_BUILD_DIR
#define QLY_HELP_BUILD_DIR ""
#endif

namespace qly {

namespace {

QString& configuredHelpFolder() {
    static QString folder;
    return folder;
}

QPointer<HelpWindow>& theWindow() {
    static QPointer<HelpWindow> window;
    return window;
}

void deleteHelpWindow() {
    delete theWindow().data();
}

const QString kWindowTitle = QStringLiteral("Quillory Help");

}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("HelpBrowser"));
    setOpenExternalLinks(true);
}

QString HelpBrowser::missingPageHtml(const QString& filePath) {
    const QFileInfo info(filePath);
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    QString body;
    if (!QFileInfo(info.absolutePath()).isDir()) {
        body = QStringLiteral(
                   "<p>The help pages of Quillory could not be found. They belong in the "
                   "folder <b>%1</b>, which does not exist.</p>"
                   "<p>Reinstall Quillory, or copy its folder \"help\" there.</p>")
                   .arg(folder.toHtmlEscaped());
    } else {
        body = QStringLiteral(
                   "<p>This help page could not be found: the file <b>%1</b> is missing "
                   "from the folder <b>%2</b>.</p>"
                   "<p>Press <i>Contents</i> to see the topics that are there.</p>")
                   .arg(info.fileName().toHtmlEscaped(), folder.toHtmlEscaped());
    }
    return QStringLiteral(
               "<html><head><title>Help page not found</title></head><body>"
               "<h2>Help page not found</h2>%1</body></html>")
        .arg(body);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::HtmlResource && name.isLocalFile()) {
        QFile file(name.toLocalFile());
        if (!file.open(QIODevice::ReadOnly))
            return missingPageHtml(name.toLocalFile());
        return QString::fromUtf8(file.readAll());
    }
    return QTextBrowser::loadResource(type, name);
}

QString HelpWindow::helpFolder() {
    if (!configuredHelpFolder().isEmpty())
        return configuredHelpFolder();
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    const QString built = QString::fromUtf8(QLY_HELP_BUILD_DIR);
    if (QFileInfo(beside).isDir() || built.isEmpty())
        return beside;
    return built;
}

void HelpWindow::setHelpFolder(const QString& folder) {
    configuredHelpFolder() = folder;
}

HelpWindow* HelpWindow::instance() {
    if (theWindow().isNull()) {
        theWindow() = new HelpWindow;
        static bool routineAdded = false;
        if (!routineAdded) {
            qAddPostRoutine(deleteHelpWindow);
            routineAdded = true;
        }
    }
    return theWindow().data();
}

void HelpWindow::showContents() {
    instance()->showFile(QStringLiteral("index.html"), 0);
}

void HelpWindow::showTopic(int context) {
    instance()->showFile(QString::number(context) + QStringLiteral(".html"), context);
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(kWindowTitle);

    m_contents = new QPushButton(tr("&Contents"), this);
    m_contents->setObjectName(QStringLiteral("ContentsButton"));
    m_back = new QPushButton(tr("&Back"), this);
    m_back->setObjectName(QStringLiteral("BackButton"));
    m_back->setEnabled(false);
    m_browser = new HelpBrowser(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    connect(m_contents, &QPushButton::clicked, this,
            [this] { showFile(QStringLiteral("index.html"), 0); });
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] { updateTitle(); });

    resize(640, 560);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::showFile(const QString& fileName, int context) {
    m_context = context;
    const QUrl url = QUrl::fromLocalFile(QDir(helpFolder()).absoluteFilePath(fileName));
    if (m_browser->source() == url)
        m_browser->reload();
    else
        m_browser->setSource(url);
    updateTitle();
    if (!isVisible()) {
        // Opens centred over the window the user asked from.
        QWidget* over = QApplication::activeWindow();
        if (over && over != this) {
            const QRect frame = over->frameGeometry();
            move(frame.center() - QPoint(width() / 2, height() / 2));
        }
    }
    show();
    raise();
    activateWindow();
}

QString HelpWindow::currentFile() const {
    return m_browser->source().toLocalFile();
}

void HelpWindow::updateTitle() {
    // One title whatever the page: the page's own heading names it.
    setWindowTitle(kWindowTitle);
}

}  // namespace qly
