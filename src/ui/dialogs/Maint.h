#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QButtonGroup;
class QCloseEvent;
class TDataModule2;
class TDbTable;
class TFormScaler;
class TXBase;

namespace qly::archive {
class TArchiver;
}

namespace Ui {
class TMaint;
}

// The maintenance dialog: backs the tables up into an archive ("Backup
// Database"), restores them from one ("Restore Database") and rebuilds a
// table's indexes ("Re-Index"). The main window creates a new one for each
// use of its Maintenance command and shows it without making it modal;
// several may be open at once. Closing it hides it for good (it deletes
// itself once no backup or restore runs in it).
//
// Handlers that fail throw QlyError with the message the user sees; the
// buttons run them through a guard that shows the message in the standard
// error box.
//
// File dialogs go through fileDialogHook and message boxes through
// qly::showMessage, so that tests can answer both without a window.
class TMaint : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kMsgFloppy =
        "Drive A indicates a floppy drive - please a new empty disk";
    static constexpr const char* kMsgBackupDone = "Backup sucessful. Compression rate = ";
    static constexpr const char* kMsgBackupDoneEnd = " %";
    static constexpr const char* kMsgBackupFailed = "Backup failed or aborted";
    static constexpr const char* kMsgRestoreDone = "Restore successfully finished, ";
    static constexpr const char* kMsgRestoreFilesOf = " files of ";
    static constexpr const char* kMsgRestoreDoneEnd = " restored";
    static constexpr const char* kMsgRestoreFailed = "Restore failed or user has canceled";
    static constexpr const char* kMsgMainReindexed = "Main Table re-indexed!";
    static constexpr const char* kMsgManufReindexed = "Manufacturer Table re-indexed!";
    static constexpr const char* kMsgLocationReindexed = "Location Table re-indexed!";
    // Refused: the backup would be written over one of the files it reads.
    static constexpr const char* kMsgArchiveIsSource =
        "The backup cannot be written over a file that is being backed up. Please choose another "
        "name.";
    // The line below the restore page's memo naming the last safety archive.
    static constexpr const char* kSafetyCaption =
        "The tables as they were before the last restore: ";
    static constexpr const char* kSafetyPrefix = "before-restore-";

    // The volume size of a backup to drive A.
    static constexpr int kFloppyMaxSize = 1400000;

    // What a file dialog is asked for: a name to save to (backup) or an
    // existing file to open (restore).
    struct FileRequest {
        bool save = false;
        QString folder;         // initial folder ("" = the dialog's own choice)
        QString filter;         // in Qt's form, "Text (*.ext)"
        QString defaultSuffix;  // appended to a name typed without one
    };
    // Returns the chosen name, or an empty text when the user cancelled.
    using FileDialogHook = std::function<QString(QWidget* parent, const FileRequest& request)>;
    // Replaces the file dialogs while set (tests); empty = the real dialogs.
    static FileDialogHook fileDialogHook;

    // dataModule: the program's data module (nullptr = TDataModule2::instance()).
    explicit TMaint(TDataModule2* dataModule = nullptr, QWidget* parent = nullptr);
    ~TMaint() override;

    // The maintenance folder, held once for all maintenance dialogs; each
    // new dialog reads it anew. Ends in "/".
    static QString maintFolder();

    // The backup list (the hidden ListBox1): full file names.
    QStringList backupList() const;
    // The archiver behind the backup and restore (Archiver1).
    qly::archive::TArchiver& archiver() const { return *m_archiver; }
    // True while a backup or restore runs in this dialog.
    bool operationRunning() const { return m_running; }
    // The file name of the newest safety archive in the maintenance folder
    // ("" when none).
    QString lastSafetyArchive() const { return m_lastSafety; }
    // The folder inside the data path that keeps the newest safety archives.
    static constexpr const char* kSafetyFolder = "backups/";
    static constexpr int kSafetyKept = 5;

signals:
    // After every restore, whatever its outcome: the tables are open again.
    void restoreFinished();

public:
    // Table files of the backup choices, in the order of the list.
    static QStringList tableFiles(int choice);

public slots:
    void FormCreate();
    void ReadReg();
    void RadioGroup1Click();
    void Button1Click();
    void Button3Click();
    void RadioGroup2Click();
    void Button5Click();
    void Button2Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    // F1: the topic of the page in front.
    void showContextHelp();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Escape closes like the Close buttons

private:
    // Deletes a dialog that was closed while its operation ran, once the
    // handler that ran it ends.
    class DeleteWhenClosed {
    public:
        explicit DeleteWhenClosed(TMaint* dialog) : m_dialog(dialog) {}
        ~DeleteWhenClosed();
        DeleteWhenClosed(const DeleteWhenClosed&) = delete;
        DeleteWhenClosed& operator=(const DeleteWhenClosed&) = delete;

    private:
        TMaint* m_dialog;
    };

    // Connects a button to a handler that may throw.
    template <class Button, class Signal>
    void connectGuarded(Button* button, Signal signal, void (TMaint::*handler)());
    TDataModule2* dataModule() const;
    void configureArchiver(qly::archive::TArchiver& archiver);
    QString chooseFile(const FileRequest& request);
    void beginOperation(QWidget* page);
    void endOperation();
    bool anyOperationRunning() const;
    bool archiveIsSource(const QString& archiveName) const;
    // Saves the current table files of the maintenance folder into a new
    // safety archive there. False when the archive could not be completed.
    bool makeSafetyArchive();
    void findLastSafetyArchive();
    void showSafetyArchive();
    void pruneSafetyArchives();
    static QString safetyFolder();

    std::unique_ptr<Ui::TMaint> ui;
    TFormScaler* m_formScaler = nullptr;  // FormScaler1
    std::unique_ptr<qly::archive::TArchiver> m_archiver;
    std::unique_ptr<qly::archive::TArchiver> m_safetyArchiver;
    TDataModule2* m_dataModule = nullptr;
    QButtonGroup* m_tableChoice = nullptr;    // RadioGroup1
    QButtonGroup* m_reindexChoice = nullptr;  // RadioGroup2
    QString m_lastSafety;
    bool m_running = false;
    bool m_deleteWhenIdle = false;

    static QString s_maintFolder;
    static int s_running;  // operations running in all maintenance dialogs
};
