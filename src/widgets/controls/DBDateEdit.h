#pragma once

#include "widgets/controls/DBEdit.h"

#include <QDate>

class QCalendarWidget;
class QFrame;
class QToolButton;

// A data-aware date box: the date in the program-wide short date format,
// typed (a year of one or two digits is read as 1950 to 2049) or chosen from
// a drop-down calendar (the button at the right, Alt+Down or F4). A date that
// cannot be read is refused with the field's message at the hand-over.
class DBDateEdit : public DBEdit {
    Q_OBJECT
    // It places its buttons itself; the form scaler scales it as one control.
    Q_CLASSINFO("FormScaler", "one control")

public:
    explicit DBDateEdit(QWidget* parent = nullptr);
    ~DBDateEdit() override;

    void showCalendar();
    void hideCalendar();
    bool isCalendarVisible() const;
    QCalendarWidget* calendar() const { return m_calendar; }
    QToolButton* dropButton() const { return m_button; }

signals:
    void dateChosen(const QDate& date);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(const QDate& date);

    QToolButton* m_button = nullptr;
    QFrame* m_popup = nullptr;
    QCalendarWidget* m_calendar = nullptr;
};
