#pragma once

#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

class QPushButton;

namespace qly {

// The browser of the help window. A page that is missing, or a help folder
// that is missing altogether, is reported in the window in plain words
// instead of leaving it blank.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

    // The text shown in place of a page that cannot be read.
    static QString missingPageHtml(const QString& filePath);
};

// The program's help window: the help file Qly32.hlp is the folder "help"
// of HTML pages, index.html the contents and <context>.html the topic of a
// help context number. One window serves the whole program; it is created
// on first use and stays until the program ends.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Help contexts of the program's topics.
    static constexpr int kContextBackup = 4001;
    static constexpr int kContextRestore = 4002;
    static constexpr int kContextReindex = 4003;
    static constexpr int kContextReports = 4004;
    static constexpr int kContextDatabaseLocation = 4005;
    static constexpr int kContextDateFormats = 4006;
    static constexpr int kContextMainWindow = 3005;
    static constexpr int kContextFolderPicker = 1000;

    // The folder of the help pages. By default the folder "help" beside the
    // executable when it exists, otherwise the copy the build makes in the
    // build tree (QLY_HELP_BUILD_DIR).
    static QString helpFolder();
    static void setHelpFolder(const QString& folder);

    // The one help window (created on first use).
    static HelpWindow* instance();
    // Shows the contents page (index.html).
    static void showContents();
    // Shows the topic of a help context (<context>.html).
    static void showTopic(int context);

    // What the window shows: the page's file, and the context number of the
    // last topic asked for (0 for the contents).
    QString currentFile() const;
    int currentContext() const { return m_context; }
    HelpBrowser* browser() const { return m_browser; }

    ~HelpWindow() override;

private:
    explicit HelpWindow(QWidget* parent = nullptr);
    void showFile(const QString& fileName, int context);
    void updateTitle();

    HelpBrowser* m_browser = nullptr;
    QPushButton* m_contents = nullptr;
    QPushButton* m_back = nullptr;
    int m_context = 0;
};

}  // namespace qly
