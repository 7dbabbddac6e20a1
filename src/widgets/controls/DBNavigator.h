#pragma once

#include "data/DbTable.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QToolButton;
class TDataSource;

// The navigator: fourteen buttons in a row that move through a data
// source's table and change it. Each button is enabled only while its
// action is possible; the movement buttons repeat while held down (first
// after 500 ms, then every 100 ms); delete asks "Delete record?" first. The
// pictures are drawn by the program itself.
class DBNavigator : public QWidget {
    Q_OBJECT
    // It places its buttons itself; the form scaler scales it as one control.
    Q_CLASSINFO("FormScaler", "one control")

public:
    enum Button {
        nbFirst,
        nbPriorPage,
        nbPrior,
        nbNext,
        nbNextPage,
        nbLast,
        nbInsert,
        nbDelete,
        nbEdit,
        nbPost,
        nbCancel,
        nbRefresh,
        nbSaveBookmark,
        nbRestoreBookmark,
    };
    static constexpr int kButtonCount = 14;
    static constexpr int kPageSize = 10;
    static constexpr int kRepeatDelay = 500;
    static constexpr int kRepeatInterval = 100;
    static constexpr const char* kDeleteQuestion = "Delete record?";

    explicit DBNavigator(QWidget* parent = nullptr);
    ~DBNavigator() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;

    QToolButton* button(Button which) const { return m_buttons.at(which); }
    // The hint of a button, and its object name ("First", "PriorPage", ...).
    static QString hint(Button which);
    static QString buttonName(Button which);
    static QIcon picture(Button which);

    // Performs a button's action as a click does (the delete question
    // included). Errors go to the standard error box.
    void BtnClick(Button which);

    // Whether delete asks first (on by default).
    void setConfirmDelete(bool on) { m_confirmDelete = on; }
    bool confirmDelete() const { return m_confirmDelete; }

    TBookmark bookmark() const { return m_bookmark; }

    // Re-reads the state of the table and enables the buttons.
    void updateButtons();

signals:
    // After a button's action ran.
    void clicked(DBNavigator::Button which);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Link;
    void act(Button which);
    void layoutButtons();

    std::unique_ptr<Link> m_link;
    std::array<QToolButton*, kButtonCount> m_buttons{};
    TBookmark m_bookmark = 0;
    bool m_confirmDelete = true;
};
