#include "ui/dialogs/FolderPicker.h"

#include "ui/dialogs/DialogMessages.h"
#include "widgets/help/HelpWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QString withoutFinalSlash(const QString& path) {
    return path.isEmpty() ? path : QDir::cleanPath(path);
}

}  // namespace

FolderPicker::FolderPicker(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FolderPicker"));
    setWindowTitle(tr("Select Directory"));

    auto* folderLabel = new QLabel(tr("&Folder name:"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("FolderEdit"));
    folderLabel->setBuddy(m_edit);

    auto* treeLabel = new QLabel(tr("&Directories:"), this);
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    treeLabel->setBuddy(m_tree);

    auto* drivesLabel = new QLabel(tr("Dri&ves:"), this);
    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("DriveBox"));
    drivesLabel->setBuddy(m_drives);
    m_drives->addItem(tr("Home folder (%1)").arg(QDir::homePath()), QDir::homePath());
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString device = QString::fromLocal8Bit(volume.device());
        if (volume.rootPath() != QStringLiteral("/") && !device.startsWith(QStringLiteral("/dev/")))
            continue;
        const QString name =
            volume.displayName() == volume.rootPath()
                ? volume.rootPath()
                : QStringLiteral("%1 (%2)").arg(volume.rootPath(), volume.displayName());
        m_drives->addItem(name, volume.rootPath());
    }
    m_drives->setCurrentIndex(-1);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->setObjectName(QStringLiteral("PickerButtons"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderLabel);
    layout->addWidget(m_edit);
    layout->addWidget(treeLabel);
    layout->addWidget(m_tree, 1);
    layout->addWidget(drivesLabel);
    layout->addWidget(m_drives);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &FolderPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FolderPicker::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &FolderPicker::showHelp);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &FolderPicker::showHelp);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !m_selectingInTree)
                    m_edit->setText(m_model->filePath(current));
            });
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        if (!m_treeTarget.isEmpty() &&
            (m_treeTarget == path || m_treeTarget.startsWith(path + QLatin1Char('/')) ||
             path == QStringLiteral("/"))) {
            // After the model has sorted the folder it just read.
            QTimer::singleShot(100, this, [this] {
                if (!m_treeTarget.isEmpty())
                    selectInTree(m_treeTarget);
            });
        }
    });
    connect(m_tree, &QTreeView::clicked, this, [this] { m_treeTarget.clear(); });
    connect(m_drives, &QComboBox::activated, this, [this](int index) {
        const QString root = m_drives->itemData(index).toString();
        selectInTree(root);
        m_edit->setText(root);
    });

    resize(420, 460);
}

FolderPicker::~FolderPicker() = default;

void FolderPicker::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
}

void FolderPicker::setStartFolder(const QString& folder) {
    m_startFolder = folder;
    const QString path = withoutFinalSlash(folder);
    selectInTree(path);
    m_edit->setText(path);
    m_edit->selectAll();
    int drive = -1;
    qsizetype longest = 0;
    for (int i = 0; i < m_drives->count(); ++i) {
        const QString root = m_drives->itemData(i).toString();
        const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        if ((path == root || path.startsWith(prefix)) && root.size() > longest) {
            drive = i;
            longest = root.size();
        }
    }
    m_drives->setCurrentIndex(drive);
}

void FolderPicker::selectInTree(const QString& folder) {
    QString existing = folder.isEmpty() ? QDir::homePath() : QDir(folder).absolutePath();
    while (!QFileInfo(existing).isDir() && existing != QStringLiteral("/"))
        existing = QFileInfo(existing).absolutePath();
    m_treeTarget = existing;
    const QModelIndex index = m_model->index(existing);
    if (!index.isValid())
        return;
    // The tree's folders are read in the background: open the way down to
    // the folder now, and again as each folder on the way has been read.
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        m_tree->expand(parent);
    m_selectingInTree = true;
    m_tree->setCurrentIndex(index);
    m_selectingInTree = false;
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString FolderPicker::typedFolder() const {
    const QString text = m_edit->text().trimmed();
    if (text.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(text))
        return withoutFinalSlash(text);
    if (text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/")))
        return withoutFinalSlash(QDir::homePath() + text.mid(1));
    const QModelIndex current = m_tree->currentIndex();
    const QString base = current.isValid() ? m_model->filePath(current) : QDir::homePath();
    return withoutFinalSlash(QDir(base).absoluteFilePath(text));
}

void FolderPicker::accept() {
    const QString folder = typedFolder();
    if (folder.isEmpty())
        return;
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        qly::showMessage(this, qly::MessageKind::Error,
                         tr("%1 is a file, not a folder.").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    if (!info.exists()) {
        if (qly::showMessage(this, qly::MessageKind::Confirmation,
                             QString::fromUtf8(kMsgCreateFolder),
                             QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        if (!QDir().mkpath(folder)) {
            qly::showMessage(
                this, qly::MessageKind::Error,
                tr("The folder %1 could not be created.").arg(QDir::toNativeSeparators(folder)));
            return;
        }
    }
    m_chosen = folder;
    QDialog::accept();
}

void FolderPicker::showHelp() {
    qly::HelpWindow::showTopic(kHelpContext);
}

bool FolderPicker::getFolder(QWidget* parent, const QString& start, QString* folder) {
    FolderPicker picker(parent);
    // Modal to its own window only, so that the help window stays usable.
    picker.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    picker.setStartFolder(start);
    if (picker.exec() != QDialog::Accepted)
        return false;
    *folder = picker.chosenFolder();
    return true;
}
