#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QPushButton;
class QTreeView;

// The folder picker: a tree of the folders of the machine, a list of its
// drives (mounted volumes) and a box where a folder may be typed, also one
// that does not exist yet. OK on a missing folder asks whether to create it;
// Yes creates it with any missing parent folders, No leaves the picker open.
// Its Help button (and F1) shows help context 1000.
class FolderPicker : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMsgCreateFolder =
        "The specified directory does not exist. Create it?";
    static constexpr int kHelpContext = 1000;

    explicit FolderPicker(QWidget* parent = nullptr);
    ~FolderPicker() override;

    // The folder the picker starts at: shown in the box and selected in the
    // tree (its nearest existing parent when it does not exist).
    void setStartFolder(const QString& folder);
    QString startFolder() const { return m_startFolder; }

    // The folder in the box as a full path (relative names are taken inside
    // the folder selected in the tree), without a final "/".
    QString typedFolder() const;
    // The folder chosen with OK.
    QString chosenFolder() const { return m_chosen; }

    // Runs a picker modal to its parent window; true on OK, with the chosen
    // folder in *folder.
    static bool getFolder(QWidget* parent, const QString& start, QString* folder);

public slots:
    void accept() override;
    void showHelp();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void selectInTree(const QString& folder);

    QComboBox* m_drives = nullptr;
    QTreeView* m_tree = nullptr;
    QFileSystemModel* m_model = nullptr;
    QLineEdit* m_edit = nullptr;
    QString m_startFolder;
    QString m_treeTarget;  // the folder the tree is opening towards
    bool m_selectingInTree = false;
    QString m_chosen;
};
