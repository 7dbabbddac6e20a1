#include "widgets/data/DBStateStatus.h"

#include "data/DataSource.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cmath>

namespace {

// The gaps and the picture follow the font, so the pane keeps its look
// when a form scaler makes it and its font smaller or larger.
int padding(const QWidget& widget) {
    return std::max(2, (widget.fontMetrics().height() + 2) / 4);
}

int pictureSize(const QWidget& widget) {
    return std::max(8, std::min(widget.height() - 8, widget.fontMetrics().height()));
}

}  // namespace

DBStateStatus::DBStateStatus(QWidget* parent) : QWidget(parent) {
    setAccessibleName(text());
}

DBStateStatus::~DBStateStatus() = default;

void DBStateStatus::setDataSource(TDataSource* source) {
    if (m_dataSource == source)
        return;
    QObject::disconnect(m_stateConnection);
    QObject::disconnect(m_activeConnection);
    m_dataSource = source;
    if (source) {
        m_stateConnection = connect(source, &TDataSource::stateChanged, this,
                                    [this](TDataSetState state) { showState(state); });
        m_activeConnection = connect(source, &TDataSource::activeChanged, this,
                                     [this](bool) { showState(m_dataSource->state()); });
        connect(source, &QObject::destroyed, this,
                [this] { showState(TDataSetState::dsInactive); });
    }
    showState(source ? source->state() : TDataSetState::dsInactive);
}

void DBStateStatus::showState(TDataSetState state) {
    if (state == m_state)
        return;
    m_state = state;
    setAccessibleName(text());
    update();
}

QString DBStateStatus::stateWord(TDataSetState state) {
    switch (state) {
        case TDataSetState::dsInactive:
            return QStringLiteral("Inactive");
        case TDataSetState::dsBrowse:
            return QStringLiteral("Browse");
        case TDataSetState::dsEdit:
            return QStringLiteral("Edit");
        case TDataSetState::dsInsert:
            return QStringLiteral("Insert");
        case TDataSetState::dsSetKey:
            return QStringLiteral("Search");
        case TDataSetState::dsCalcFields:
            return QStringLiteral("Calculate");
        case TDataSetState::dsFilter:
            return QStringLiteral("Filter");
    }
    return QString();
}

QPixmap DBStateStatus::statePicture(TDataSetState state, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);  // drawn on a 16 x 16 grid
    const QColor outline(40, 40, 40);
    switch (state) {
        case TDataSetState::dsInactive: {  // a grey circle, crossed out
            p.setPen(QPen(QColor(128, 128, 128), 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(8, 8), 6, 6);
            p.drawLine(QPointF(3.8, 12.2), QPointF(12.2, 3.8));
            break;
        }
        case TDataSetState::dsBrowse: {  // the record indicator
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            QPainterPath arrow;
            arrow.moveTo(4, 2);
            arrow.lineTo(13, 8);
            arrow.lineTo(4, 14);
            arrow.closeSubpath();
            p.drawPath(arrow);
            break;
        }
        case TDataSetState::dsEdit: {  // a pencil
            p.translate(8, 8);
            p.rotate(45);
            p.setPen(QPen(outline, 0.8));
            p.setBrush(QColor(240, 190, 40));
            p.drawRect(QRectF(-2, -7, 4, 10));
            p.setBrush(QColor(230, 200, 160));
            QPainterPath tip;
            tip.moveTo(-2, 3);
            tip.lineTo(2, 3);
            tip.lineTo(0, 7);
            tip.closeSubpath();
            p.drawPath(tip);
            p.setBrush(QColor(220, 90, 90));
            p.drawRect(QRectF(-2, -8, 4, 2));
            break;
        }
        case TDataSetState::dsInsert: {  // a green star
            p.setPen(QPen(QColor(0, 140, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
            for (int i = 0; i < 3; ++i) {
                const double a = i * 3.14159265358979 / 3 + 3.14159265358979 / 2;
                p.drawLine(QPointF(8 + 6 * std::cos(a), 8 + 6 * std::sin(a)),
                           QPointF(8 - 6 * std::cos(a), 8 - 6 * std::sin(a)));
            }
            break;
        }
        case TDataSetState::dsSetKey: {  // a magnifying glass
            p.setPen(QPen(outline, 1.6));
            p.setBrush(QColor(200, 230, 255));
            p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
            p.setPen(QPen(outline, 2.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10, 10), QPointF(14, 14));
            break;
        }
        case TDataSetState::dsCalcFields: {  // a sigma
            p.setPen(QPen(QColor(0, 90, 160), 1.8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            p.setBrush(Qt::NoBrush);
            QPainterPath sigma;
            sigma.moveTo(13, 3);
            sigma.lineTo(3, 3);
            sigma.lineTo(8, 8);
            sigma.lineTo(3, 13);
            sigma.lineTo(13, 13);
            p.drawPath(sigma);
            break;
        }
        case TDataSetState::dsFilter: {  // a funnel
            p.setPen(QPen(outline, 0.8));
            p.setBrush(QColor(0, 128, 128));
            QPainterPath funnel;
            funnel.moveTo(2, 3);
            funnel.lineTo(14, 3);
            funnel.lineTo(9.5, 8.5);
            funnel.lineTo(9.5, 14);
            funnel.lineTo(6.5, 12);
            funnel.lineTo(6.5, 8.5);
            funnel.closeSubpath();
            p.drawPath(funnel);
            break;
        }
    }
    return pixmap;
}

QSize DBStateStatus::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return QSize(padding(*this) * 3 + metrics.height() +
                     metrics.horizontalAdvance(QStringLiteral("Calculate")),
                 metrics.height() + 8);
}

void DBStateStatus::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::Panel;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = 1;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &p, this);

    const int size = pictureSize(*this);
    const QPixmap picture = statePicture(m_state, size * devicePixelRatio());
    QPixmap scaled = picture;
    scaled.setDevicePixelRatio(devicePixelRatio());
    const int gap = padding(*this);
    p.drawPixmap(gap, (height() - size) / 2, scaled);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect = rect().adjusted(gap * 2 + size, 0, -gap, 0);
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text());
}
