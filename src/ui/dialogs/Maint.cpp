#include "ui/dialogs/Maint.h"

#include "archive/Archiver.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/XBase.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/DialogMessages.h"
#include "ui/dialogs/Preferences.h"
#include "ui_Maint.h"
#include "widgets/FormScaler.h"
#include "widgets/data/ErrorBox.h"
#include "widgets/help/HelpWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QShortcut>

#include <exception>
#include <string>
#include <utility>
#include <vector>

using qly::archive::MessageBoxKind;
using qly::archive::TArchiver;

TMaint::FileDialogHook TMaint::fileDialogHook;
QString TMaint::s_maintFolder;
int TMaint::s_running = 0;

namespace {

// The backup choices of RadioGroup1, by position.
enum BackupChoice { kMain = 0, kLocation = 1, kManufact = 2, kAllTables = 3 };
// The re-index choices of RadioGroup2, by position.
enum ReindexChoice { kReindexMain = 0, kReindexManuf = 1, kReindexLocation = 2 };

const char* const kMainFiles[] = {"Main.dbf", "Main.cdx", "Main.fpt"};
const char* const kLocationFiles[] = {"Location.dbf", "Location.cdx", "Location.fpt"};
const char* const kManufactFiles[] = {"Manufact.dbf", "Manufact.cdx", "Manufact.fpt"};

// SaveDialog1 and OpenDialog1 (the open dialog's form values are replaced
// before every use, so only the values it is shown with appear here).
const char* const kSaveFilter = "QLY32 Backup Files(*.bkp)";
const char* const kOpenFilter = "Backup Files [*.bkp] (*.bkp)";
const char* const kBackupSuffix = "bkp";

// Where the progress shows on each page: left, top, width, height.
const QRect kProgressOnBackupPage(256, 196, 250, 34);
const QRect kProgressOnRestorePage(64, 228, 401, 40);

QString fromNative(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

std::string toNative(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// The folder last backed up to, where the next save dialog starts.
QString& lastBackupFolder() {
    static QString folder;
    return folder;
}

}  // namespace

TMaint::TMaint(TDataModule2* dataModule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TMaint>()),
      m_archiver(std::make_unique<TArchiver>()),
      m_safetyArchiver(std::make_unique<TArchiver>()),
      m_dataModule(dataModule) {
    ui->setupUi(this);
    ui->ListBox1->setVisible(false);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(17);
    setFont(font);
    setFixedSize(517, 327);

    m_tableChoice = new QButtonGroup(this);
    const QList<QRadioButton*> tables = {ui->RadioGroup1Item0, ui->RadioGroup1Item1,
                                         ui->RadioGroup1Item2, ui->RadioGroup1Item3};
    for (int i = 0; i < tables.size(); ++i)
        m_tableChoice->addButton(tables[i], i);
    m_reindexChoice = new QButtonGroup(this);
    const QList<QRadioButton*> reindex = {ui->RadioGroup2Item0, ui->RadioGroup2Item1,
                                          ui->RadioGroup2Item2};
    for (int i = 0; i < reindex.size(); ++i)
        m_reindexChoice->addButton(reindex[i], i);

    // The progress of a running backup or restore: the current file and a bar.
    auto* panel = new QWidget(ui->TabSheet1);
    panel->setObjectName(QStringLiteral("ProgressPanel"));
    // Placed on its page when an operation starts, in scaled bounds.
    panel->setProperty("FormScaler", QString::fromLatin1(TFormScaler::kPlacedByCode));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(13);
    auto* file = new QLabel(panel);
    file->setObjectName(QStringLiteral("ProgressFile"));
    file->setFont(small);
    auto* bar = new QProgressBar(panel);
    bar->setObjectName(QStringLiteral("ProgressBar1"));
    bar->setRange(0, 100);
    bar->setFont(small);
    panel->hide();

    configureArchiver(*m_archiver);
    configureArchiver(*m_safetyArchiver);

    connect(m_tableChoice, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup1Click();
    });
    connect(m_reindexChoice, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup2Click();
    });
    connectGuarded(ui->Button1, &QPushButton::clicked, &TMaint::Button1Click);
    connectGuarded(ui->Button3, &QPushButton::clicked, &TMaint::Button3Click);
    connectGuarded(ui->Button5, &QPushButton::clicked, &TMaint::Button5Click);
    for (QPushButton* close : {ui->Button2, ui->Button4, ui->Button6})
        connectGuarded(close, &QPushButton::clicked, &TMaint::Button2Click);
    connectGuarded(ui->Button7, &QPushButton::clicked, &TMaint::Button7Click);
    connectGuarded(ui->Button8, &QPushButton::clicked, &TMaint::Button8Click);
    connectGuarded(ui->Button9, &QPushButton::clicked, &TMaint::Button9Click);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &TMaint::showContextHelp);

    FormCreate();

    // Centres the dialog on the screen and scales it and its controls.
    m_formScaler = new TFormScaler(this);
    m_formScaler->setObjectName(QStringLiteral("FormScaler1"));
    m_formScaler->setDesignMetrics(QSize(1152, 864), 120, QRect(342, 239, 525, 354),
                                   QSize(517, 327));
}

TMaint::~TMaint() {
    if (m_running)
        --s_running;
}

template <class Button, class Signal>
void TMaint::connectGuarded(Button* button, Signal signal, void (TMaint::*handler)()) {
    connect(button, signal, this, [this, handler] {
        try {
            (this->*handler)();
        } catch (const std::exception& error) {
            qly::showErrorBox(QString::fromStdString(error.what()),
                              isVisible() ? this : parentWidget());
        }
    });
}

TDataModule2* TMaint::dataModule() const {
    TDataModule2* module = m_dataModule ? m_dataModule : TDataModule2::instance();
    if (!module)
        throw QlyError("The tables are not available: the data module has not been created");
    return module;
}

QString TMaint::maintFolder() {
    return s_maintFolder;
}

QStringList TMaint::backupList() const {
    QStringList list;
    for (int i = 0; i < ui->ListBox1->count(); ++i)
        list << ui->ListBox1->item(i)->text();
    return list;
}

QStringList TMaint::tableFiles(int choice) {
    QStringList files;
    auto add = [&files](const char* const(&names)[3]) {
        for (const char* name : names)
            files << QString::fromLatin1(name);
    };
    switch (choice) {
        case kMain:
            add(kMainFiles);
            break;
        case kLocation:
            add(kLocationFiles);
            break;
        case kManufact:
            add(kManufactFiles);
            break;
        case kAllTables:
            add(kMainFiles);
            add(kLocationFiles);
            add(kManufactFiles);
            break;
        default:
            break;
    }
    return files;
}

void TMaint::configureArchiver(TArchiver& archiver) {
    // Archiver1 keeps its defaults; only the user interface is wired in: its
    // prompts and errors as message boxes, events processed after every
    // block, and the progress shown in the dialog.
    archiver.ProcessEvents = [] { QCoreApplication::processEvents(); };
    archiver.MessageBox = [this](MessageBoxKind kind, const std::string& text) {
        QWidget* parent = isVisible() ? this : parentWidget();
        if (kind == MessageBoxKind::InformationOkCancel)
            return qly::showMessage(parent, qly::MessageKind::Information, fromNative(text),
                                    QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        qly::showMessage(parent, qly::MessageKind::Error, fromNative(text));
        return true;
    };
    archiver.OnProgress = [this](TArchiver&, const std::string& filename, int percent, bool&) {
        auto* label = findChild<QLabel*>(QStringLiteral("ProgressFile"));
        auto* bar = findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
        if (!label || !bar)
            return;
        if (!filename.empty()) {
            const QString name = QFileInfo(fromNative(filename)).fileName();
            label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()));
            label->setToolTip(fromNative(filename));
        }
        bar->setValue(percent);
    };
}

QString TMaint::chooseFile(const FileRequest& request) {
    if (fileDialogHook)
        return fileDialogHook(this, request);
    QFileDialog dialog(this);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// ---- Creation

void TMaint::FormCreate() {
    s_maintFolder.clear();
    ReadReg();
    if (s_maintFolder.isEmpty())
        s_maintFolder = QString::fromStdString(qly::programFolder());
    findLastSafetyArchive();
    ui->PageControl1->setCurrentIndex(0);
}

void TMaint::ReadReg() {
    qly::SettingsStore reg;
    if (!reg.open())
        return;
    std::string path;
    const qly::SettingsStatus status = reg.readString(qly::kValuePath, &path);
    reg.close();
    if (!status.ok()) {
        // As the preferences dialog does: say so and open on the program's
        // folder.
        qly::showMessage(this, qly::MessageKind::Information,
                         QString::fromUtf8(TPreferences::kMsgCouldNotOpenRegistry));
        return;
    }
    s_maintFolder = QString::fromStdString(qly::applyDataPathRule(path, qly::programFolder()));
}

// ---- Backup

void TMaint::RadioGroup1Click() {
    ui->Button1->setEnabled(true);
    ui->ListBox1->clear();
    for (const QString& name : tableFiles(m_tableChoice->checkedId()))
        ui->ListBox1->addItem(s_maintFolder + name);
}

bool TMaint::archiveIsSource(const QString& archiveName) const {
    const QFileInfo archive(archiveName);
    const QString archivePath = archive.absoluteFilePath();
    const QString archiveTarget = archive.exists() ? archive.canonicalFilePath() : QString();
    for (const QString& source : backupList()) {
        const QFileInfo info(source);
        if (info.absoluteFilePath().compare(archivePath, Qt::CaseInsensitive) == 0)
            return true;
        if (!archiveTarget.isEmpty() && info.exists() && info.canonicalFilePath() == archiveTarget)
            return true;
    }
    // A table file of another letter case in the same folder is the same
    // file to the archive's selection.
    const QDir folder = archive.absoluteDir();
    for (const QString& source : backupList()) {
        const QFileInfo info(source);
        if (QDir(info.absolutePath()) != folder)
            continue;
        for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden)) {
            if (entry.compare(info.fileName(), Qt::CaseInsensitive) == 0 &&
                entry.compare(archive.fileName(), Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

void TMaint::Button1Click() {
    if (anyOperationRunning()) {
        QApplication::beep();
        return;
    }
    const DeleteWhenClosed deleteWhenClosed(this);
    FileRequest request;
    request.save = true;
    request.folder = lastBackupFolder();
    request.filter = QString::fromLatin1(kSaveFilter);
    request.defaultSuffix = QString::fromLatin1(kBackupSuffix);
    const QString name = chooseFile(request);
    if (name.isEmpty())
        return;
    if (archiveIsSource(name)) {
        qly::showMessage(this, qly::MessageKind::Warning, QString::fromLatin1(kMsgArchiveIsSource));
        return;
    }
    lastBackupFolder() = QFileInfo(name).absolutePath();

    if (name.at(0).toUpper() == QLatin1Char('A')) {
        qly::showMessage(this, qly::MessageKind::Information, QString::fromLatin1(kMsgFloppy));
        m_archiver->setMaxSize(kFloppyMaxSize);
    } else {
        m_archiver->setMaxSize(0);
    }

    std::vector<std::string> files;
    for (const QString& file : backupList())
        files.push_back(toNative(file));
    beginOperation(ui->TabSheet1);
    const bool ok = m_archiver->Backup(files, toNative(name));
    endOperation();

    QWidget* parent = isVisible() ? this : parentWidget();
    if (!m_archiver->raisedError().empty())
        throw QlyError(m_archiver->raisedError());
    if (ok)
        qly::showMessage(parent, qly::MessageKind::Information,
                         QString::fromLatin1(kMsgBackupDone) +
                             QString::number(m_archiver->CompressionRate()) +
                             QString::fromLatin1(kMsgBackupDoneEnd));
    else
        qly::showMessage(parent, qly::MessageKind::Information,
                         QString::fromLatin1(kMsgBackupFailed));
}

// ---- Restore

void TMaint::findLastSafetyArchive() {
    // Names are before-restore-<date>-<time>[-n].bkp: the newest has the
    // latest stamp and, within one second, the highest n.
    const auto key = [](const QString& name) {
        const QString stem = QFileInfo(name).completeBaseName().mid(int(qstrlen(kSafetyPrefix)));
        const int dash = stem.indexOf(QLatin1Char('-'), stem.indexOf(QLatin1Char('-')) + 1);
        const QString stamp = dash < 0 ? stem : stem.left(dash);
        const int n = dash < 0 ? 1 : stem.mid(dash + 1).toInt();
        return std::make_pair(stamp, n);
    };
    m_lastSafety.clear();
    QStringList found =
        QDir(safetyFolder())
            .entryList({QString::fromLatin1(kSafetyPrefix) + QStringLiteral("*.bkp")}, QDir::Files);
    std::sort(found.begin(), found.end(),
              [&key](const QString& a, const QString& b) { return key(a) > key(b); });
    if (!found.isEmpty())
        m_lastSafety = found.first();
    showSafetyArchive();
}

QString TMaint::safetyFolder() {
    return s_maintFolder + QString::fromLatin1(kSafetyFolder);
}

void TMaint::pruneSafetyArchives() {
    const auto key = [](const QString& name) {
        const QString stem = QFileInfo(name).completeBaseName().mid(int(qstrlen(kSafetyPrefix)));
        const int dash = stem.indexOf(QLatin1Char('-'), stem.indexOf(QLatin1Char('-')) + 1);
        const QString stamp = dash < 0 ? stem : stem.left(dash);
        const int n = dash < 0 ? 1 : stem.mid(dash + 1).toInt();
        return std::make_pair(stamp, n);
    };
    QStringList found =
        QDir(safetyFolder())
            .entryList({QString::fromLatin1(kSafetyPrefix) + QStringLiteral("*.bkp")}, QDir::Files);
    std::sort(found.begin(), found.end(),
              [&key](const QString& a, const QString& b) { return key(a) > key(b); });
    for (int i = kSafetyKept; i < found.size(); ++i)
        QFile::remove(safetyFolder() + found[i]);
}

void TMaint::showSafetyArchive() {
    ui->SafetyLabel->setText(m_lastSafety.isEmpty()
                                 ? QString()
                                 : QString::fromLatin1(kSafetyCaption) +
                                       QDir::toNativeSeparators(safetyFolder() + m_lastSafety));
}

bool TMaint::makeSafetyArchive() {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QDir().mkpath(safetyFolder())) {
        qly::showMessage(isVisible() ? this : parentWidget(), qly::MessageKind::Error,
                         QStringLiteral("Cannot create the folder ") + safetyFolder());
        return false;
    }
    const QString base = safetyFolder() + QString::fromLatin1(kSafetyPrefix) + stamp;
    QString name = base + QStringLiteral(".bkp");
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".bkp");

    // Only the nine table files: earlier safety archives and anything else
    // in the folder stay out. With none of them there yet (a new folder),
    // there is nothing to keep.
    const QStringList present = QDir(s_maintFolder).entryList(QDir::Files | QDir::Hidden);
    std::vector<std::string> files;
    for (const QString& file : tableFiles(kAllTables)) {
        if (present.contains(file, Qt::CaseInsensitive))
            files.push_back(toNative(s_maintFolder + file));
    }
    if (files.empty())
        return true;
    m_safetyArchiver->setMaxSize(0);
    beginOperation(ui->TabSheet2);
    const bool ok = m_safetyArchiver->Backup(files, toNative(name));
    endOperation();
    if (!ok) {
        if (!m_safetyArchiver->raisedError().empty())
            qly::showMessage(isVisible() ? this : parentWidget(), qly::MessageKind::Error,
                             fromNative(m_safetyArchiver->raisedError()));
        QFile::remove(name);
        return false;
    }
    m_lastSafety = QFileInfo(name).fileName();
    pruneSafetyArchives();
    showSafetyArchive();
    return true;
}

void TMaint::Button3Click() {
    if (anyOperationRunning()) {
        QApplication::beep();
        return;
    }
    const DeleteWhenClosed deleteWhenClosed(this);
    FileRequest request;
    request.save = false;
    request.folder = s_maintFolder;
    request.filter = QString::fromLatin1(kOpenFilter);
    request.defaultSuffix = QString::fromLatin1(kBackupSuffix);
    const QString name = chooseFile(request);
    if (name.isEmpty())
        return;

    TDataModule2* module = dataModule();
    TDbTable* const tables[] = {module->MainT, module->ManufT, module->LocationT};
    // An edit in progress is kept, not thrown away with the close.
    for (TDbTable* table : tables) {
        if (table->active())
            table->checkBrowseMode();
    }
    for (TDbTable* table : tables)
        table->close();
    // Whatever the restore's outcome, the tables open again (each table's
    // companion applies its filter again as it opens) and the count shown
    // is brought up to date. A failed restore changed no file, so they open
    // as they were.
    struct Reopen {
        TMaint* dialog;
        TDbTable* const* tables;
        ~Reopen() {
            for (int i = 0; i < 3; ++i) {
                try {
                    tables[i]->open();
                } catch (...) {
                    // Shown by the caller's own error, or on the next use.
                }
            }
            emit dialog->restoreFinished();
        }
    } reopen{this, tables};

    bool ok = false;
    bool restored = false;
    // A restore replaces the tables: their current files go into a safety
    // archive first, so that the restore itself can be undone.
    if (!QFileInfo::exists(name) || makeSafetyArchive()) {
        beginOperation(ui->TabSheet2);
        ok = m_archiver->Restore(toNative(name), toNative(s_maintFolder));
        endOperation();
        restored = true;
    }

    QWidget* parent = isVisible() ? this : parentWidget();
    if (restored && !m_archiver->raisedError().empty())
        throw QlyError(m_archiver->raisedError());  // the tables open again as they were
    if (ok) {
        qly::showMessage(
            parent, qly::MessageKind::Information,
            QString::fromLatin1(kMsgRestoreDone) + QString::number(m_archiver->ProcessedFiles()) +
                QString::fromLatin1(kMsgRestoreFilesOf) + QString::number(m_archiver->FileCount()) +
                QString::fromLatin1(kMsgRestoreDoneEnd));
        for (TDbTable* table : tables)
            table->setDatabaseName(s_maintFolder);
    } else {
        qly::showMessage(parent, qly::MessageKind::Information,
                         QString::fromLatin1(kMsgRestoreFailed));
    }
}

// ---- Re-index

void TMaint::RadioGroup2Click() {
    ui->Button5->setEnabled(true);
}

void TMaint::Button5Click() {
    if (anyOperationRunning()) {
        QApplication::beep();
        return;
    }
    TDataModule2* module = dataModule();
    TDbTable* table = nullptr;
    TXBase* xbase = nullptr;
    const char* message = nullptr;
    switch (m_reindexChoice->checkedId()) {
        case kReindexMain:
            table = module->MainT;
            xbase = module->XBase1;
            message = kMsgMainReindexed;
            break;
        case kReindexManuf:
            table = module->ManufT;
            xbase = module->XBase2;
            message = kMsgManufReindexed;
            break;
        case kReindexLocation:
            table = module->LocationT;
            xbase = module->XBase3;
            message = kMsgLocationReindexed;
            break;
        default:
            return;
    }

    const bool wasActive = table->active();
    if (wasActive)
        table->checkBrowseMode();  // an edit in progress is kept
    table->close();
    table->setExclusive(true);
    try {
        table->open();
        xbase->reindex();
        table->close();
    } catch (...) {
        // The engine's message is shown; the table opens again shared, as
        // it was before.
        try {
            table->close();
            table->setExclusive(false);
            if (wasActive)
                table->open();
        } catch (...) {
            table->setExclusive(false);
        }
        throw;
    }
    table->setExclusive(false);
    table->open();
    qly::showMessage(this, qly::MessageKind::Information, QString::fromLatin1(message));
}

// ---- Close and help

void TMaint::Button2Click() {
    ui->Button1->setEnabled(false);
    ui->Button5->setEnabled(false);
    close();
}

void TMaint::reject() {
    close();
}

void TMaint::closeEvent(QCloseEvent* event) {
    // Accepting is enough for the close to hide the dialog (the base class
    // would go through reject(), which comes back here).
    event->accept();
    // A closed dialog is not shown again. While a backup or restore runs in
    // it, it only hides and goes once the operation has ended.
    if (m_running)
        m_deleteWhenIdle = true;
    else
        deleteLater();
}

void TMaint::Button7Click() {
    qly::HelpWindow::showContents();
}

void TMaint::Button8Click() {
    qly::HelpWindow::showContents();
}

void TMaint::Button9Click() {
    qly::HelpWindow::showContents();
}

void TMaint::showContextHelp() {
    static const int contexts[] = {qly::HelpWindow::kContextBackup,
                                   qly::HelpWindow::kContextRestore,
                                   qly::HelpWindow::kContextReindex};
    const int page = ui->PageControl1->currentIndex();
    if (page >= 0 && page < 3)
        qly::HelpWindow::showTopic(contexts[page]);
}

// ---- Running operations

bool TMaint::anyOperationRunning() const {
    return m_running || s_running > 0;
}

void TMaint::beginOperation(QWidget* page) {
    m_running = true;
    ++s_running;
    auto* panel = findChild<QWidget*>(QStringLiteral("ProgressPanel"));
    auto* label = findChild<QLabel*>(QStringLiteral("ProgressFile"));
    auto* bar = findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    const QRect place = m_formScaler->scaled(page == ui->TabSheet1 ? kProgressOnBackupPage
                                                                   : kProgressOnRestorePage);
    panel->setParent(page);
    panel->setGeometry(place);
    const int labelHeight = QFontMetrics(label->font()).height() + 2;
    label->setGeometry(0, 0, place.width(), labelHeight);
    bar->setGeometry(0, labelHeight, place.width(), place.height() - labelHeight);
    label->clear();
    label->setToolTip(QString());
    bar->setValue(0);
    panel->show();
    panel->raise();
}

void TMaint::endOperation() {
    if (auto* panel = findChild<QWidget*>(QStringLiteral("ProgressPanel")))
        panel->hide();
    if (m_running) {
        m_running = false;
        --s_running;
    }
}

TMaint::DeleteWhenClosed::~DeleteWhenClosed() {
    if (m_dialog->m_deleteWhenIdle && !m_dialog->m_running)
        m_dialog->deleteLater();
}
