#include "widgets/FormScaler.h"

#include "data/Error.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <string>

namespace qly::scaling {

namespace {

// Values beyond this come only from damaged input; they are cut here so
// that no conversion leaves the range of int.
constexpr double kIntLimit = 1.0e9;

double bounded(double x) {
    return std::isfinite(x) ? std::clamp(x, -kIntLimit, kIntLimit) : 0.0;
}

}  // namespace

int nearest(double x) {
    return static_cast<int>(std::nearbyint(bounded(x)));
}

int truncated(double x) {
    return static_cast<int>(std::trunc(bounded(x)));
}

int halfdown(double x) {
    x = bounded(x);
    const double whole = std::trunc(x);
    return static_cast<int>(whole) + (x > 0 && x - whole > 0.5 ? 1 : 0);
}

double fontSize(const QFont& font) {
    return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
}

void setFontSize(QFont& font, int size) {
    if (size <= 0)
        return;
    if (font.pixelSize() > 0)
        font.setPixelSize(size);
    else
        font.setPointSize(size);
}

}  // namespace qly::scaling

using qly::scaling::fontSize;
using qly::scaling::halfdown;
using qly::scaling::nearest;

bool TFormScaler::s_maximized = false;

namespace {

constexpr int kUserPhaseCount = 10000;
constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;

// A maximised position or a track size as pixels: positive as is,
// negative as percent of the screen's extent, 0 as 0.
int pixels(int value, int screenExtent) {
    if (value >= 0)
        return value;
    return nearest(-static_cast<double>(value) * screenExtent * 0.01);
}

// In each container, labels and tool buttons (controls that only paint
// themselves) come before its other controls: the list's order, which the
// layout file's visibility bytes follow.
bool paintedControl(const QWidget* widget) {
    return qobject_cast<const QLabel*>(widget) || qobject_cast<const QToolButton*>(widget);
}

bool collectable(const QWidget* widget) {
    const QString name = widget->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
        return false;
    const QWidget* parent = widget->parentWidget();
    // Pages of a tab widget or stack are sized by it; tool-bar buttons by
    // the tool bar.
    return !qobject_cast<const QStackedWidget*>(parent) && !qobject_cast<const QToolBar*>(parent);
}

// Whether the walk looks at a widget's children. Not of the controls Qt
// builds of parts of its own (a tab bar's scroll buttons have names), nor
// of a class whose objects lay out their own named parts.
bool entered(const QWidget* widget) {
    if (qobject_cast<const QTabBar*>(widget) || qobject_cast<const QComboBox*>(widget) ||
        qobject_cast<const QAbstractSpinBox*>(widget) ||
        qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
        qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
        qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget))
        return false;
    return widget->metaObject()->indexOfClassInfo("FormScaler") < 0;
}

// A widget the form's code places itself (through scaled()).
bool placedByCode(const QWidget* widget) {
    return widget->property("FormScaler").toString() == QLatin1String(TFormScaler::kPlacedByCode);
}

// A window placement record for outer bounds relative to the screen's
// available area (its workspace coordinates).
WindowPlacement placementOf(const QRect& outer) {
    WindowPlacement placement;
    placement.left = outer.left();
    placement.top = outer.top();
    placement.right = outer.left() + outer.width();
    placement.bottom = outer.top() + outer.height();
    return placement;
}

QMargins frameMargins(const QWidget* form) {
    const QRect frame = form->frameGeometry();
    const QRect inner = form->geometry();
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                    frame.right() - inner.right(), frame.bottom() - inner.bottom());
}

bool fixedSize(const QWidget* form) {
    return form->minimumSize() == form->maximumSize();
}

}  // namespace

QWidget* TFormScaler::checkedOwner(QWidget* owner) {
    if (!owner || !owner->isWindow())
        throw QlyError(kOwnerMustBeForm);
    if (owner->findChild<TFormScaler*>(QString(), Qt::FindDirectChildrenOnly))
        throw QlyError(std::string(kAlreadyExists) + owner->objectName().toStdString());
    return owner;
}

TFormScaler::TFormScaler(QWidget* owner) : QObject(checkedOwner(owner)), m_form(owner) {
    const QScreen* screen = owner->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : owner->frameGeometry();
    m_screenOrigin = area.topLeft();
    m_screenWidth = area.width();
    m_screenHeight = area.height();
    m_screenPixelsPerInch = screen ? qRound(screen->logicalDotsPerInch()) : 96;

    // Without design values of its own, the form is taken as designed for
    // the screen and the bounds it has now.
    m_designScreenWidth = m_screenWidth;
    m_designScreenHeight = m_screenHeight;
    m_designPixelsPerInch = m_screenPixelsPerInch;
    const QRect outer = outerBounds();
    m_designFormLeft = outer.x();
    m_designFormTop = outer.y();
    m_designFormWidth = outer.width();
    m_designFormHeight = outer.height();
    const QSize client = clientSize();
    m_designFormClientWidth = client.width();
    m_designFormClientHeight = client.height();

    m_font = owner->font();
    s_maximized = owner->windowState().testFlag(Qt::WindowMaximized);

    m_dragTimer.setSingleShot(true);
    m_dragTimer.setInterval(kDragEndMs);
    connect(&m_dragTimer, &QTimer::timeout, this, &TFormScaler::endDrag);
    m_stateTimer.setSingleShot(true);
    m_stateTimer.setInterval(kDragEndMs);
    connect(&m_stateTimer, &QTimer::timeout, this, &TFormScaler::handleResize);
    owner->installEventFilter(this);
}

TFormScaler::~TFormScaler() {
    m_form->removeEventFilter(this);
}

void TFormScaler::setDesignMetrics(QSize screen, int pixelsPerInch, QRect form, QSize client) {
    m_designScreenWidth = screen.width();
    m_designScreenHeight = screen.height();
    m_designPixelsPerInch = pixelsPerInch;
    m_designFormLeft = form.x();
    m_designFormTop = form.y();
    m_designFormWidth = form.width();
    m_designFormHeight = form.height();
    m_designFormClientWidth = client.width();
    m_designFormClientHeight = client.height();
}

void TFormScaler::setMinimumTrackWidth(int value) {
    m_minimumTrackWidth = value;
    applySizeLimits();
}

void TFormScaler::setMinimumTrackHeight(int value) {
    m_minimumTrackHeight = value;
    applySizeLimits();
}

void TFormScaler::setMaximumTrackWidth(int value) {
    m_maximumTrackWidth = value;
    applySizeLimits();
}

void TFormScaler::setMaximumTrackHeight(int value) {
    m_maximumTrackHeight = value;
    applySizeLimits();
}

void TFormScaler::setMaintainProportions(bool on) {
    m_maintainProportions = on;
    applySizeLimits();
}

void TFormScaler::setFont(const QFont& font) {
    m_font = font;
}

void TFormScaler::setBkGrndImage(QLabel* image) {
    m_bkGrndImage = image;
    if (image)
        image->hide();
    m_form->update();
}

QRect TFormScaler::scaled(const QRect& design) const {
    return QRect(nearest(nearest(design.x() * m_rx) * m_h),
                 nearest(nearest(design.y() * m_ry) * m_v),
                 nearest(nearest(design.width() * m_rx) * m_h),
                 nearest(nearest(design.height() * m_ry) * m_v));
}

QString TFormScaler::layoutPath() const {
    return m_layoutFile.isEmpty() ? QString() : QDir::current().absoluteFilePath(m_layoutFile);
}

// ---- Events

bool TFormScaler::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_form || m_initialising)
        return false;
    const QEvent::Type type = event->type();
    if (m_needsInitialising) {
        // Not while Qt is making the form's window: its place and size
        // could not be set yet.
        if (type == QEvent::WinIdChange)
            return false;
        initialise();
    } else if (!m_inFontAssign && type != QEvent::FontChange && type != QEvent::Hide &&
               type != QEvent::Close) {
        assignFont();  // the component's Font always wins
    }
    if (m_positionFromFile) {
        m_positionFromFile = false;
        m_target.moveTo(nearest(m_screenWidth * m_fractions[0]),
                        nearest(m_screenHeight * m_fractions[1]));
        setFormBounds(m_target);
    }

    switch (type) {
        case QEvent::Resize:
            countPositionChange();
            if (isUserChange(event)) {
                if (!m_dragging && !m_dragTimer.isActive())
                    m_dragStartSize =
                        static_cast<QResizeEvent*>(event)->oldSize().grownBy(frameMargins(m_form));
                m_dragging = true;
                m_resizedDuringDrag = true;
                m_dragTimer.start();
            } else if (!m_dragging) {
                handleResize();
            }
            break;
        case QEvent::Move:
            countPositionChange();
            if (isUserChange(event)) {
                if (!m_dragging && !m_dragTimer.isActive())
                    m_dragStartSize = m_form->frameGeometry().size();
                m_dragTimer.start();
            }
            break;
        case QEvent::Show:
            if (!event->spontaneous())
                handleShow();
            break;
        case QEvent::WindowActivate:
            handleActivate();
            break;
        case QEvent::WindowStateChange:
            handleStateChange();
            break;
        case QEvent::Paint:
            if (m_bkGrndImage && !m_bkGrndImage->pixmap().isNull()) {
                paintBackground();
                return true;
            }
            break;
        default:
            break;
    }
    return false;
}

// The position-changing message: from the first one after the window was
// activated, the user's sizes stand.
void TFormScaler::countPositionChange() {
    if (++m_positionChanges >= kUserPhaseCount) {
        m_positionChanges = kUserPhaseCount;
        m_userPhase = true;
    }
}

// A resize or move that the window system made on its own: the user
// dragging the border or the window, in the normal state, not as part of a
// maximise or restore.
bool TFormScaler::isUserChange(const QEvent* event) const {
    if (!event->spontaneous() || m_notYetShown || m_inResize)
        return false;
    if (m_form->windowState() & kNotNormal)
        return false;
    return !m_sinceStateChange.isValid() || m_sinceStateChange.elapsed() >= kDragEndMs;
}

void TFormScaler::initialise() {
    m_initialising = true;
    buildControlList();
    loadLayout();
    for (TFrame& frame : m_frames)
        frame.visible = !frame.control->isHidden();

    if (m_form->windowState().testFlag(Qt::WindowMaximized)) {
        m_designFormWidth = m_designScreenWidth;
        m_designFormHeight = m_designScreenHeight;
        m_designFormLeft = pixels(m_maximizedPosX, m_designScreenWidth);
        m_designFormTop = pixels(m_maximizedPosY, m_designScreenHeight);
    }

    m_rx = m_designScreenWidth > 0 ? static_cast<double>(m_screenWidth) / m_designScreenWidth : 1;
    m_ry =
        m_designScreenHeight > 0 ? static_cast<double>(m_screenHeight) / m_designScreenHeight : 1;
    m_r = std::sqrt(m_rx * m_ry);
    m_initialFontSize = halfdown(fontSize(m_form->font()) * m_r);

    const bool borderless = m_form->windowFlags().testFlag(Qt::FramelessWindowHint);
    const int width = nearest((borderless ? m_designFormClientWidth : m_designFormWidth) * m_rx);
    const int height = nearest((borderless ? m_designFormClientHeight : m_designFormHeight) * m_ry);
    int left = nearest(m_designFormLeft * m_rx);
    int top = nearest(m_designFormTop * m_ry);
    if (m_centred) {
        left = (m_screenWidth - width) / 2;
        top = (m_screenHeight - height) / 2;
    }
    if (left + width > m_screenWidth)
        left = (m_screenWidth - width) / 2;
    if (top + height > m_screenHeight)
        top = (m_screenHeight - height) / 2;
    m_target = QRect(std::max(left, 0), std::max(top, 0), width, height);
    m_dragStartSize = m_target.size();
    if (!m_placementLoaded)
        m_placement = placementOf(m_target);

    m_positionChanges = 0;
    m_needsInitialising = false;
    m_initialising = false;
}

void TFormScaler::buildControlList() {
    m_frames.clear();
    const auto walk = [this](const auto& self, QWidget* container) -> void {
        // Controls placed by a layout have their bounds once it has run.
        if (QLayout* layout = container->layout())
            layout->activate();
        const QObjectList children = container->children();
        for (const bool painted : {true, false}) {
            for (QObject* child : children) {
                auto* widget = qobject_cast<QWidget*>(child);
                if (!widget || widget->isWindow() || paintedControl(widget) != painted ||
                    placedByCode(widget))
                    continue;
                if (collectable(widget))
                    m_frames.push_back(frameFor(widget));
                if (entered(widget))
                    self(self, widget);
            }
        }
    };
    walk(walk, m_form);
}

void TFormScaler::handleResize() {
    const Qt::WindowStates state = m_form->windowState();
    if (state.testFlag(Qt::WindowMinimized) || m_inResize || m_needsInitialising)
        return;
    m_stateTimer.stop();
    m_inResize = true;
    const bool maximized = state.testFlag(Qt::WindowMaximized);
    if (maximized && !s_maximized) {
        m_userPhase = true;
        s_maximized = true;
        assignFont();
    } else if (m_userPhase && !(state & kNotNormal)) {  // a restore
        m_notYetShown = false;
        s_maximized = false;
        assignFont();
        if (m_restorePlacement) {
            // A window that started maximised from the layout file goes back
            // to the normal place saved there (its frame is known by now).
            m_restorePlacement = false;
            const WindowPlacement& p = m_placement;
            setFormBounds(QRect(p.left, p.top, p.right - p.left, p.bottom - p.top));
        }
    }
    if (m_form->windowFlags().testFlag(Qt::FramelessWindowHint) || m_notYetShown || !m_userPhase)
        setFormBounds(m_target);
    rescale();
    m_form->update();
    saveLayout();
    m_inResize = false;
}

void TFormScaler::handleShow() {
    if (m_notYetShown) {
        setFormBounds(m_target);
        m_notYetShown = false;
    }
    if (m_sizeFromFile) {
        rescale();
        m_sizeFromFile = false;
        m_target.setSize(QSize(nearest(m_screenWidth * m_fractions[2]),
                               nearest(m_screenHeight * m_fractions[3])));
        setFormBounds(m_target);
    }
}

void TFormScaler::handleActivate() {
    m_positionChanges = kUserPhaseCount;
    if (m_placementLoaded && m_maximisePending) {
        // The window was maximised when the layout file was read (Qt shows
        // it so at once); its saved normal place is taken at the first
        // restore (handleResize), once the window's frame is known.
        m_placementLoaded = false;
        m_maximisePending = false;
        if (!m_form->windowState().testFlag(Qt::WindowMaximized))
            m_form->setWindowState(m_form->windowState() | Qt::WindowMaximized);
    }
}

void TFormScaler::handleStateChange() {
    // The resize a window system makes for a maximise or restore follows
    // the state change and is no drag; it is handled as it comes. Without
    // one (the size stayed), the state change is handled as a resize when
    // the resize would have come.
    m_sinceStateChange.start();
    if (m_dragging) {
        m_dragTimer.stop();
        m_dragging = false;
        m_resizedDuringDrag = false;
    }
    m_stateTimer.start();
}

void TFormScaler::endDrag() {
    m_dragging = false;
    if (m_resizedDuringDrag) {
        m_resizedDuringDrag = false;
        if (m_maintainProportions) {
            proportionFix();
        } else {
            rescale();
            m_form->update();
        }
    }
    s_maximized = false;
    saveLayout();
}

void TFormScaler::proportionFix() {
    const QRect outer = outerBounds();
    int w = outer.width();
    int h = outer.height();
    const int w0 = m_dragStartSize.width();
    const int h0 = m_dragStartSize.height();
    if (w0 > 0 && h0 > 0) {
        const int dw = w - w0;
        const int dh = h - h0;
        const double wide = static_cast<double>(w0) / h0;
        if (w + h > w0 + h0) {
            if (dw > dh)
                h = nearest(w / wide);
            else if (dw < dh)
                w = nearest(h * wide);
        } else {
            if (dw > dh)
                w = nearest(h * wide);
            else if (dw < dh)
                h = nearest(w / wide);
        }
    }
    if (QSize(w, h) != outer.size())
        setFormBounds(QRect(outer.topLeft(), QSize(w, h)));  // rescales as a resize
    else
        rescale();  // the size stands: no resize follows
    m_form->update();
}

void TFormScaler::rescale() {
    if (m_dragging || m_needsInitialising)
        return;
    const bool first = m_firstRescalePending;
    if (first) {
        for (TFrame& frame : m_frames)
            capture(frame);
        if (m_initialFontSize != 0)
            qly::scaling::setFontSize(m_font, m_initialFontSize);
        m_baselineWidth = nearest(m_designFormClientWidth * m_rx);
        m_baselineHeight = nearest(m_designFormClientHeight * m_ry);
        m_baselineFontSize = fontSize(m_font);
        m_firstRescalePending = false;
    }

    const QSize outer = m_form->frameGeometry().size();
    double size = m_baselineFontSize;
    if (m_baselineWidth > 0 && m_baselineHeight > 0)
        size = std::min(m_baselineFontSize * outer.width() / m_baselineWidth,
                        m_baselineFontSize * outer.height() / m_baselineHeight);
    if (m_scaleFont)
        qly::scaling::setFontSize(m_font, nearest(size));
    m_fontRatio = m_baselineFontSize > 0 ? size / m_baselineFontSize : 1.0;
    // The form's font goes first, so that the menu bar takes its height and
    // the client area is known before the controls are placed.
    assignFont();
    settleFormLayout();

    const QSize client = clientSize();
    const double h =
        m_baselineWidth > 0 ? static_cast<double>(client.width()) / m_baselineWidth : 1.0;
    const double v =
        m_baselineHeight > 0 ? static_cast<double>(client.height()) / m_baselineHeight : 1.0;
    m_h = m_scaleHorizontal ? h : 1.0;
    m_v = m_scaleVertical ? v : 1.0;
    for (TFrame& frame : m_frames) {
        if (frame.control)
            apply(frame, h, v);
    }
    if (first)
        applySizeLimits();
    emit rescaled();
}

void TFormScaler::applySizeLimits() {
    if (m_maintainProportions && m_target.width() > 0 && m_target.height() > 0) {
        const double wide = static_cast<double>(m_target.width()) / m_target.height();
        if (static_cast<double>(m_screenWidth) / m_screenHeight >= wide) {
            m_maximizedWidth = nearest(m_screenHeight * wide);
            m_maximumTrackWidth = m_maximizedWidth;
            if (m_centred)
                m_maximizedPosX = (m_screenWidth - m_maximizedWidth) / 2;
        } else {
            m_maximizedHeight = nearest(m_screenWidth / wide);
            m_maximumTrackHeight = m_maximizedHeight;
            if (m_centred)
                m_maximizedPosY = (m_screenHeight - m_maximizedHeight) / 2;
        }
    }
    if (m_firstRescalePending || m_needsInitialising || fixedSize(m_form))
        return;
    const bool any = m_minimumTrackWidth != 0 || m_minimumTrackHeight != 0 ||
                     m_maximumTrackWidth != 0 || m_maximumTrackHeight != 0;
    if (!any && !m_limitsApplied)
        return;  // the window system's limits stand
    m_limitsApplied = any;
    // Track sizes are outer sizes; Qt limits the client.
    const QMargins margins = frameMargins(m_form);
    const int dw = margins.left() + margins.right();
    const int dh = margins.top() + margins.bottom();
    const auto limit = [](int value, int extent, int frame, int none) {
        return value == 0 ? none : std::max(0, pixels(value, extent) - frame);
    };
    m_form->setMinimumSize(limit(m_minimumTrackWidth, m_screenWidth, dw, 0),
                           limit(m_minimumTrackHeight, m_screenHeight, dh, 0));
    m_form->setMaximumSize(limit(m_maximumTrackWidth, m_screenWidth, dw, QWIDGETSIZE_MAX),
                           limit(m_maximumTrackHeight, m_screenHeight, dh, QWIDGETSIZE_MAX));
}

void TFormScaler::assignFont() {
    const QFont current = m_form->font();
    if (current.pixelSize() == m_font.pixelSize() && current.pointSizeF() == m_font.pointSizeF())
        return;
    m_inFontAssign = true;
    m_form->setFont(m_font);
    m_form->update();
    m_inFontAssign = false;
}

void TFormScaler::settleFormLayout() {
    // A main window's layout places the menu bar and the central widget;
    // during a resize it has not run yet, and a new font changes the menu
    // bar's height.
    if (QLayout* layout = m_form->layout()) {
        layout->invalidate();
        layout->activate();
    }
}

void TFormScaler::paintBackground() {
    const QPixmap picture = m_bkGrndImage->pixmap();
    QPainter painter(m_form);
    if (m_bkGrndImage->hasScaledContents()) {
        painter.drawPixmap(QRect(0, 0, m_form->width(), m_form->height()), picture);
        return;
    }
    // Tiles overlap their neighbours by one pixel, and go on to the right
    // and bottom edges (as many tiles as edge / tile size would leave a
    // strip of small tiles unpainted).
    const QRect area = m_form->rect();
    const int stepX = std::max(1, picture.width() - 1);
    const int stepY = std::max(1, picture.height() - 1);
    for (int y = 0; y <= area.bottom(); y += stepY) {
        for (int x = 0; x <= area.right(); x += stepX)
            painter.drawPixmap(x, y, picture);
    }
}

void TFormScaler::setFormBounds(const QRect& outer) {
    if (m_form->windowState() & kNotNormal)
        return;  // the window system owns a maximised window's bounds
    if (!m_form->testAttribute(Qt::WA_WState_Created))
        m_form->winId();  // a window of its own tells the frame's size
    const QMargins margins = frameMargins(m_form);
    const QSize client(std::max(1, outer.width() - margins.left() - margins.right()),
                       std::max(1, outer.height() - margins.top() - margins.bottom()));
    if (fixedSize(m_form) && m_form->size() != client)
        m_form->setFixedSize(client);
    const QRect inner(outer.topLeft() + m_screenOrigin + QPoint(margins.left(), margins.top()),
                      client);
    if (m_form->geometry() != inner)
        m_form->setGeometry(inner);
    // A hidden widget keeps its geometry to itself until shown; the window
    // takes it now, as the place a later restore goes back to.
    if (!m_form->isVisible() && m_form->windowHandle())
        m_form->windowHandle()->setGeometry(inner);
}

QRect TFormScaler::outerBounds() const {
    return m_form->frameGeometry().translated(-m_screenOrigin);
}

QSize TFormScaler::clientSize() const {
    if (auto* window = qobject_cast<QMainWindow*>(m_form); window && window->centralWidget())
        return window->centralWidget()->size();
    return m_form->size();
}

// ---- The layout file

void TFormScaler::loadLayout() {
    if (m_layoutFile.isEmpty())
        return;
    const std::optional<FormLayout> layout =
        FormLayout::read(layoutPath(), static_cast<int>(m_frames.size()));
    if (!layout)
        return;
    m_placement = layout->placement;
    if (layout->maximized()) {
        m_maximisePending = true;
        m_restorePlacement = true;
        const WindowPlacement& p = layout->placement;
        setFormBounds(QRect(p.left, p.top, p.right - p.left, p.bottom - p.top));
        m_form->setWindowState(m_form->windowState() | Qt::WindowMaximized);
    } else {
        m_form->setWindowState(m_form->windowState() & ~Qt::WindowMaximized);
        m_fractions = layout->fractions;
        m_positionFromFile = true;
        m_sizeFromFile = true;
    }
    m_maximumTrackWidth = layout->maximumTrackWidth;
    m_maximumTrackHeight = layout->maximumTrackHeight;
    for (std::size_t i = 0; i < m_frames.size(); ++i)
        m_frames[i].control->setVisible(layout->visibility[static_cast<int>(i)] != 0);
    m_placementLoaded = true;
}

void TFormScaler::saveLayout() {
    if (m_layoutFile.isEmpty() || m_needsInitialising)
        return;
    // The form's own state, not the flag all scalers share: another form's
    // scaler clears that flag when it is created.
    const bool maximized = m_form->windowState().testFlag(Qt::WindowMaximized);
    FormLayout layout;
    layout.state =
        maximized || m_maximisePending ? FormLayout::kStateMaximized : FormLayout::kStateNormal;
    const double sw = m_screenWidth;
    const double sh = m_screenHeight;
    if (!layout.maximized()) {
        const QRect outer = outerBounds();
        layout.fractions = {outer.x() / sw, outer.y() / sh, outer.width() / sw,
                            outer.height() / sh};
    }
    if (maximized) {
        // The maximised size is the window system's: the screen's, or the
        // one kept with MaintainProportions. (The window's own size may lag
        // behind its state.)
        const double width = m_maximizedWidth > 0 ? m_maximizedWidth : sw;
        const double height = m_maximizedHeight > 0 ? m_maximizedHeight : sh;
        m_maximumTrackWidth = -nearest(width / sw * 100);
        m_maximumTrackHeight = -nearest(height / sh * 100);
        if (m_maximumTrackWidth <= -100)
            m_maximumTrackWidth = 0;
        if (m_maximumTrackHeight <= -100)
            m_maximumTrackHeight = 0;
        applySizeLimits();
    }
    layout.maximumTrackWidth = m_maximumTrackWidth;
    layout.maximumTrackHeight = m_maximumTrackHeight;
    layout.visibility.reserve(static_cast<int>(m_frames.size()));
    for (const TFrame& frame : m_frames)
        layout.visibility.append(frame.visible ? '\1' : '\0');

    // The placement as read while the window was last in its normal state.
    if (!layout.maximized())
        m_placement = placementOf(outerBounds());
    m_placement.showCmd =
        maximized ? WindowPlacement::kShowMaximized : WindowPlacement::kShowNormal;
    layout.placement = m_placement;
    layout.write(layoutPath());  // a layout that cannot be written is not kept
}
