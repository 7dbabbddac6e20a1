#include "widgets/controls/DBNavigator.h"

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "widgets/data/ErrorBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

// The link to the data source: every notice re-reads the button states.
class DBNavigator::Link : public TDataLink {
public:
    explicit Link(DBNavigator* owner) : m_owner(owner) {}
    void activeChanged() override {
        if (!active())
            m_owner->m_bookmark = 0;
        m_owner->updateButtons();
    }
    void dataSetChanged() override { m_owner->updateButtons(); }
    void dataSetScrolled() override { m_owner->updateButtons(); }
    void stateChanged() override { m_owner->updateButtons(); }

private:
    DBNavigator* m_owner;
};

namespace {

struct ButtonInfo {
    const char* name;
    const char* hint;
};

constexpr ButtonInfo kInfo[DBNavigator::kButtonCount] = {
    {"First", "Move to first record"},
    {"PriorPage", "Move backward 10 records"},
    {"Prior", "Move to prior record"},
    {"Next", "Move to next record"},
    {"NextPage", "Move forward 10 records"},
    {"Last", "Move to last record"},
    {"Insert", "Insert new record"},
    {"Delete", "Delete current record"},
    {"Edit", "Edit current record"},
    {"Post", "Post changes of current record"},
    {"Cancel", "Cancel changes made to current record"},
    {"Refresh", "Refresh the contents of the dataset"},
    {"SaveBookmark", "Bookmark current record"},
    {"RestoreBookmark", "Go back to saved bookmark"},
};

bool isMovement(DBNavigator::Button which) {
    return which <= DBNavigator::nbLast;
}

// ---- Pictures, drawn on a 20 x 20 grid

void triangle(QPainter& p, qreal tipX, qreal baseX, qreal y, qreal half) {
    QPainterPath path;
    path.moveTo(tipX, y);
    path.lineTo(baseX, y - half);
    path.lineTo(baseX, y + half);
    path.closeSubpath();
    p.drawPath(path);
}

void drawMovement(QPainter& p, DBNavigator::Button which) {
    const QColor ink(0, 0, 128);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (which) {
        case DBNavigator::nbFirst:
            p.drawRect(QRectF(5, 5, 2, 10));
            triangle(p, 7.5, 14, 10, 5);
            break;
        case DBNavigator::nbPriorPage:
            triangle(p, 3, 9, 10, 5);
            triangle(p, 9, 15, 10, 5);
            break;
        case DBNavigator::nbPrior:
            triangle(p, 6, 13, 10, 5);
            break;
        case DBNavigator::nbNext:
            triangle(p, 14, 7, 10, 5);
            break;
        case DBNavigator::nbNextPage:
            triangle(p, 11, 5, 10, 5);
            triangle(p, 17, 11, 10, 5);
            break;
        case DBNavigator::nbLast:
            triangle(p, 12.5, 6, 10, 5);
            p.drawRect(QRectF(13, 5, 2, 10));
            break;
        default:
            break;
    }
}

void drawAction(QPainter& p, DBNavigator::Button which) {
    const QColor ink(0, 0, 128);
    switch (which) {
        case DBNavigator::nbInsert:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 128, 0));
            p.drawRect(QRectF(9, 4, 2.5, 12));
            p.drawRect(QRectF(4, 8.75, 12, 2.5));
            break;
        case DBNavigator::nbDelete:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(178, 34, 34));
            p.drawRect(QRectF(4, 8.75, 12, 2.5));
            break;
        case DBNavigator::nbEdit: {
            // a pencil
            p.setPen(QPen(ink, 1));
            p.setBrush(QColor(240, 200, 80));
            QPainterPath pencil;
            pencil.moveTo(4, 16);
            pencil.lineTo(5, 12);
            pencil.lineTo(13, 4);
            pencil.lineTo(16, 7);
            pencil.lineTo(8, 15);
            pencil.closeSubpath();
            p.drawPath(pencil);
            p.drawLine(QPointF(5, 12), QPointF(8, 15));
            break;
        }
        case DBNavigator::nbPost:
            p.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(4, 10.5), QPointF(8, 14.5), QPointF(16, 5.5)}));
            break;
        case DBNavigator::nbCancel:
            p.setPen(QPen(QColor(178, 34, 34), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 5), QPointF(15, 15));
            p.drawLine(QPointF(15, 5), QPointF(5, 15));
            break;
        case DBNavigator::nbRefresh: {
            p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::FlatCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(4.5, 4.5, 11, 11), 60 * 16, 270 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            QPainterPath head;
            head.moveTo(11, 2.5);
            head.lineTo(16, 5.5);
            head.lineTo(11, 8.5);
            head.closeSubpath();
            p.drawPath(head);
            break;
        }
        case DBNavigator::nbSaveBookmark:
        case DBNavigator::nbRestoreBookmark: {
            // a ribbon; restoring adds a small arrow back to it
            p.setPen(QPen(QColor(90, 40, 0), 1));
            p.setBrush(QColor(220, 60, 60));
            QPainterPath ribbon;
            const qreal left = which == DBNavigator::nbSaveBookmark ? 6 : 9;
            ribbon.moveTo(left, 3);
            ribbon.lineTo(left + 7, 3);
            ribbon.lineTo(left + 7, 17);
            ribbon.lineTo(left + 3.5, 13);
            ribbon.lineTo(left, 17);
            ribbon.closeSubpath();
            p.drawPath(ribbon);
            if (which == DBNavigator::nbSaveBookmark) {
                p.setPen(QPen(Qt::white, 1.5));
                p.drawLine(QPointF(left + 3.5, 5.5), QPointF(left + 3.5, 10));
                p.drawLine(QPointF(left + 1.25, 7.75), QPointF(left + 5.75, 7.75));
            } else {
                p.setPen(Qt::NoPen);
                p.setBrush(ink);
                triangle(p, 2, 7, 10, 3.5);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

QString DBNavigator::hint(Button which) {
    return QString::fromLatin1(kInfo[which].hint);
}
QString DBNavigator::buttonName(Button which) {
    return QString::fromLatin1(kInfo[which].name);
}

QIcon DBNavigator::picture(Button which) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(20 * scale, 20 * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            if (isMovement(which))
                drawMovement(p, which);
            else
                drawAction(p, which);
        }
        icon.addPixmap(pixmap, QIcon::Normal);
        // the disabled picture: the same shape in grey with a light shadow
        QPixmap grey(pixmap.size());
        grey.setDevicePixelRatio(scale);
        grey.fill(Qt::transparent);
        {
            QPainter p(&grey);
            p.drawPixmap(QPointF(0.5, 0.5), pixmap);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(QRectF(0, 0, 20, 20), QColor(255, 255, 255));
        }
        {
            QPainter p(&grey);
            QPixmap shape = pixmap;
            {
                QPainter s(&shape);
                s.setCompositionMode(QPainter::CompositionMode_SourceIn);
                s.fillRect(QRectF(0, 0, 20, 20), QColor(150, 150, 150));
            }
            p.drawPixmap(QPointF(0, 0), shape);
        }
        icon.addPixmap(grey, QIcon::Disabled);
    }
    return icon;
}

DBNavigator::DBNavigator(QWidget* parent) : QWidget(parent), m_link(std::make_unique<Link>(this)) {
    for (int i = 0; i < kButtonCount; ++i) {
        const auto which = static_cast<Button>(i);
        auto* b = new QToolButton(this);
        b->setObjectName(buttonName(which));
        b->setToolTip(hint(which));
        b->setIcon(picture(which));
        b->setIconSize(QSize(20, 20));
        b->setFocusPolicy(Qt::TabFocus);
        if (isMovement(which)) {
            b->setAutoRepeat(true);
            b->setAutoRepeatDelay(kRepeatDelay);
            b->setAutoRepeatInterval(kRepeatInterval);
        }
        connect(b, &QToolButton::clicked, this, [this, which] { BtnClick(which); });
        m_buttons[i] = b;
    }
    setMinimumSize(kButtonCount * 16, 20);
    updateButtons();
}

DBNavigator::~DBNavigator() {
    m_link->setDataSource(nullptr);
}

void DBNavigator::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
    updateButtons();
}

TDataSource* DBNavigator::dataSource() const {
    return m_link->dataSource();
}

void DBNavigator::updateButtons() {
    TDbTable* table = m_link->dataSet();
    const bool active = table && table->active() && m_link->dataSource()->enabled() && isEnabled();
    const bool editing = active && m_link->editing();
    const bool hasRecord = active && !table->isEmpty();
    const bool canModify = active && !table->readOnly();
    bool atFirst = true;
    bool atLast = true;
    if (active && table->recNo() > 0) {
        // the ends are where the engine's first and last visible records are
        atFirst = table->onFirstVisible();
        atLast = table->onLastVisible();
    }
    auto set = [this](Button which, bool on) { m_buttons[which]->setEnabled(on); };
    set(nbFirst, active && !atFirst);
    set(nbPriorPage, active && !atFirst);
    set(nbPrior, active && !atFirst);
    set(nbNext, active && !atLast);
    set(nbNextPage, active && !atLast);
    set(nbLast, active && !atLast);
    set(nbInsert, canModify);
    set(nbDelete, canModify && hasRecord);
    set(nbEdit, canModify && hasRecord && !editing);
    set(nbPost, canModify && editing);
    set(nbCancel, canModify && editing);
    set(nbRefresh, active && !editing);
    set(nbSaveBookmark, active && table->recNo() > 0);
    set(nbRestoreBookmark, active && m_bookmark > 0);
}

void DBNavigator::act(Button which) {
    TDbTable* table = m_link->dataSet();
    if (!table)
        return;
    switch (which) {
        case nbFirst:
            table->first();
            break;
        case nbPriorPage:
            table->moveBy(-kPageSize);
            break;
        case nbPrior:
            table->prior();
            break;
        case nbNext:
            table->next();
            break;
        case nbNextPage:
            table->moveBy(kPageSize);
            break;
        case nbLast:
            table->last();
            break;
        case nbInsert:
            table->insert();
            break;
        case nbDelete: {
            if (m_confirmDelete) {
                QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                                QString::fromLatin1(kDeleteQuestion),
                                QMessageBox::Yes | QMessageBox::No, window());
                box.setObjectName(QStringLiteral("NavigatorDeleteQuestion"));
                box.setDefaultButton(QMessageBox::Yes);
                box.setEscapeButton(QMessageBox::No);
                if (box.exec() != QMessageBox::Yes)
                    return;
            }
            table->deleteRecord();
            break;
        }
        case nbEdit:
            table->edit();
            break;
        case nbPost:
            table->post();
            break;
        case nbCancel:
            table->cancel();
            break;
        case nbRefresh:
            table->refresh();
            break;
        case nbSaveBookmark:
            m_bookmark = table->getBookmark();
            break;
        case nbRestoreBookmark:
            table->gotoBookmark(m_bookmark);
            break;
    }
}

void DBNavigator::BtnClick(Button which) {
    try {
        act(which);
    } catch (const std::exception& error) {
        if (m_buttons[which]->isDown())
            m_buttons[which]->setDown(false);  // stop a repeat before the box shows
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
    }
    updateButtons();
    emit clicked(which);
}

void DBNavigator::layoutButtons() {
    const int w = width();
    for (int i = 0; i < kButtonCount; ++i) {
        const int left = w * i / kButtonCount;
        const int right = w * (i + 1) / kButtonCount;
        m_buttons[i]->setGeometry(left, 0, right - left, height());
    }
}

void DBNavigator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

void DBNavigator::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        updateButtons();
}
