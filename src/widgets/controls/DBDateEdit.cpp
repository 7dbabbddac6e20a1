#include "widgets/controls/DBDateEdit.h"

#include "data/DateFormat.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A small calendar page: a frame with two rings and a grid of days.
QIcon calendarIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(1, 3, 13, 11);
    p.fillRect(2, 4, 12, 3, QColor(178, 34, 34));
    p.setPen(QColor(60, 60, 60));
    p.drawLine(4, 1, 4, 4);
    p.drawLine(11, 1, 11, 4);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            p.fillRect(3 + col * 3, 8 + row * 2, 2, 1, QColor(90, 90, 90));
    return QIcon(pixmap);
}

}  // namespace

DBDateEdit::DBDateEdit(QWidget* parent) : DBEdit(parent) {
    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("CalendarButton"));
    m_button->setIcon(calendarIcon());
    m_button->setCursor(Qt::ArrowCursor);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setAutoRaise(true);
    m_button->setToolTip(tr("Choose a date"));
    connect(m_button, &QToolButton::clicked, this, [this] {
        if (isCalendarVisible())
            hideCalendar();
        else
            showCalendar();
    });

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(m_popup);
    layout->setContentsMargins(1, 1, 1, 1);
    m_calendar = new QCalendarWidget(m_popup);
    m_calendar->setObjectName(QStringLiteral("Calendar"));
    m_calendar->setGridVisible(true);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    layout->addWidget(m_calendar);
    connect(m_calendar, &QCalendarWidget::activated, this, &DBDateEdit::choose);
    connect(m_calendar, &QCalendarWidget::clicked, this, &DBDateEdit::choose);
    m_popup->installEventFilter(this);
}

DBDateEdit::~DBDateEdit() = default;

void DBDateEdit::resizeEvent(QResizeEvent* event) {
    DBEdit::resizeEvent(event);
    const int side = height() - 4;
    m_button->setGeometry(width() - side - 2, 2, side, side);
    setTextMargins(0, 0, side + 2, 0);
}

void DBDateEdit::showCalendar() {
    if (isReadOnly() || !isEnabled())
        return;
    const QDate shown = qly::dates::parseDate(text());
    m_calendar->setSelectedDate(shown.isValid() ? shown : QDate::currentDate());
    m_popup->adjustSize();
    QPoint below = mapToGlobal(QPoint(0, height()));
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (below.y() + m_popup->height() > available.bottom())
            below.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        if (below.x() + m_popup->width() > available.right())
            below.setX(std::max(available.left(), available.right() - m_popup->width()));
    }
    m_popup->move(below);
    m_popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void DBDateEdit::hideCalendar() {
    m_popup->hide();
}

bool DBDateEdit::isCalendarVisible() const {
    return m_popup->isVisible();
}

void DBDateEdit::choose(const QDate& date) {
    hideCalendar();
    if (!date.isValid())
        return;
    if (!beginChange())
        return;
    setText(qly::dates::formatDate(date));
    handOverOrReport();
    emit dateChosen(date);
}

void DBDateEdit::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (event->key() == Qt::Key_F4 || (alt && event->key() == Qt::Key_Down)) {
        showCalendar();
        return;
    }
    DBEdit::keyPressEvent(event);
}

bool DBDateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_popup && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            hideCalendar();
            return true;
        }
    }
    if (watched == m_popup && event->type() == QEvent::Hide)
        setFocus(Qt::PopupFocusReason);
    return DBEdit::eventFilter(watched, event);
}
