#pragma once

#include "widgets/FormLayout.h"

#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

class QTableView;
class QWidget;

namespace qly::scaling {

// The three conversions from real numbers to integers. They are not
// interchangeable: each step of the scaling names the one it uses.
int nearest(double x);    // nearest integer, ties to the even one (10.5 -> 10, 11.5 -> 12)
int truncated(double x);  // toward zero
int halfdown(double x);   // up only when the fraction is above one half (10.5 -> 10)

// A font's size in its own unit: pixels for a font given in pixels, else
// points; setting keeps the unit (sizes below 1 are not set).
double fontSize(const QFont& font);
void setFontSize(QFont& font, int size);

}  // namespace qly::scaling

// What the scaler keeps of one collected control: its bounds as captured at
// the first rescale (left and width times the screen's width ratio, top and
// height times its height ratio), the last ratios applied, its visibility
// when the list was built, and the control's fonts, grid rows and columns,
// status-bar panels and tool-bar buttons at their base sizes. Font sizes are
// in the font's own unit: pixels for a font given in pixels, else points.
struct TFrame {
    QPointer<QWidget> control;
    int left = 0;
    int width = 0;
    int top = 0;
    int height = 0;
    double lastH = 1.0;
    double lastV = 1.0;
    double lastFontRatio = 1.0;
    bool visible = true;

    // What the control is, looked up once when the list is built.
    enum Trait : std::uint32_t {
        kToolBar = 1u << 0,       // QToolBar
        kGrid = 1u << 1,          // QTableView
        kDefaultSizes = 1u << 2,  // a grid with default column and row sizes
        kDataAware = 1u << 3,     // a grid with columns over a data source (DBGrid)
        kTitleFont = 1u << 4,     // DBGrid: the column titles' font
        kLaidOut = 1u << 5        // placed by its parent's layout
    };
    std::uint32_t traits = 0;
    QByteArray autoSizeName;  // the property's name as the control spells it
    bool is(Trait trait) const { return (traits & trait) != 0; }

    // Fonts.
    int baseFontSize = 0;
    int baseTitleFontSize = 0;
    int baseTabFontSize = 0;
    double foundFontSize = 0;
    double foundTitleFontSize = 0;
    double titleRatio = 0;
    struct ExtraFont {
        QPointer<QObject> holder;
        int property = -1;
        int baseSize = 0;
    };
    std::vector<ExtraFont> extraFonts;

    // Grid: the column count seen at the last capture of the columns.
    int columnCount = 0;
    bool columnsKnown = false;
    std::vector<int> columnBaseWidths;
    std::vector<std::uint8_t> explicitWidth;
    int titleRowBase = 0;
    int defaultRowBase = 0;

    // A button's picture, scaled with its font.
    QSize baseIconSize;

    // Status bar and tool bar.
    bool isStatusBar = false;
    std::vector<int> panelBaseWidths;
    int baseButtonHeight = 0;
    int baseButtonWidth = 0;
};

// TFormScaler: placed once on a form (created with the form as its owner,
// once the form's controls exist), it makes the form fit the screen and its
// own size. When the form is first shown it is placed and sized from the
// screen it was designed on (DesignScreenWidth x DesignScreenHeight) to the
// current one, with every named control and the fonts; whenever the form is
// resized, maximised or restored, every named control's bounds and fonts
// follow the new client size. With a LayoutFile it keeps the window's
// state, place, size and the controls' visibility between runs.
//
// The screen is the size of a maximised window: the available geometry of
// the form's screen when the component is created. Positions are kept
// relative to that area's top-left corner; the form's "outer" size is its
// frame geometry, its client size the central widget's (QMainWindow) or the
// form's own.
//
// The component works on a form's window events as a Windows program works
// on its window messages; here (the component is an event filter on the
// form):
// - the size message is the form's Resize event, ignored while minimised;
// - a drag of the border has no begin or end events on every platform: a
//   run of resize or move events from the window system, in the normal
//   state and not just after a state change, is one drag, which ends when
//   no further such event comes for 250 ms; the form rescales once, then;
// - the show message is the first (non-spontaneous) Show event, the
//   activation message WindowActivate, the position-changing message every
//   Move and Resize event, the background erase message the form's Paint
//   event;
// - a maximise or restore is a WindowStateChange event; the window system
//   sends the new size after it, and that resize is the size message (one
//   that does not come within 250 ms is taken as the size staying);
// - the size-limit query has no event: the track sizes become the form's
//   minimum and maximum size whenever they change. Where a maximised
//   window goes and how large it is, is the window manager's choice; the
//   maximised position and size are kept as values but not applied;
// - the controls are not hidden while they are rescaled: Qt paints the form
//   once after the event, so nothing flickers, the keyboard focus stays
//   where it is, and a control the program hid or showed since the form was
//   laid out keeps that state (the list view stays up when the main window
//   is resized);
// - a control placed by a layout (the counterpart of an aligned control)
//   gets its bounds from the layout; its fonts, rows and columns scale;
// - a form with equal minimum and maximum sizes (a non-sizeable border)
//   has that fixed size moved along with its bounds;
// - Qt::FramelessWindowHint is a form without border;
// - there is no design mode at run time: a form's code gives the design
//   values (setDesignMetrics); the "captured" defaults are the form and
//   screen as they are when the component is created. FontWarning is kept
//   but there is no designer in which to warn;
// - a QFont carries no colour (that is the palette's): "Font always wins"
//   compares sizes only;
// - the window placement record is read from the window's frame while it
//   is in the normal state; a window that starts maximised from the layout
//   file goes to the saved normal place at its first restore (Qt's window
//   keeps its own restore geometry, which can be set only before it is
//   maximised, when its frame is not known yet);
// - there is no MDI frame or child here;
// - the component's one event of its own is rescaled().
//
// Controls are collected depth-first: in each container its labels and
// tool buttons, then its other widgets, in creation order. A widget is
// collected when it has a name that is not one of Qt's own ("qt_..."), is
// not a page of a tab widget or stack, is not a window, and its parent is no
// tool bar. A class that lays out its own named parts declares
// Q_CLASSINFO("FormScaler", "one control"), and the walk does not enter it;
// a widget whose property "FormScaler" is kPlacedByCode is neither
// collected nor entered: the form's code places it, through scaled().
//
// Per control (see TFrame): QStatusBar panels are its child widgets (their
// fixed widths), QToolBar buttons its QToolButtons, grids are QTableViews
// whose horizontal header is the title row; DBGrid is the data-aware grid
// (columns, data source, title font) and computes its own column widths from
// its font (DBGridSelfResize), any other QTableView has default column and
// row sizes; a column counts as given an explicit width when the grid's
// model gives it a width in characters (GridModel::WidthCharsRole). Columns
// have no fonts of their own here. A QLabel with text is the label (one
// showing a picture is an image and keeps its scaled bounds): one without an
// AutoSize property on may grow to fit its text but never shrinks (a
// word-wrapping label keeps its width and fits its height); any control with
// a bool property named AutoSize that is on is fitted to its contents.
// A button's picture (its icon size) is scaled with its font, as the text
// beside it is: a picture of fixed size would crowd out the caption on a
// small screen and look lost on a large one.
// BkGrndImage is a QLabel holding the picture; with scaledContents on it is
// stretched over the form (aligned to the client area), else tiled.
//
// Failures: an owner that is missing or not a window throws QlyError
// kOwnerMustBeForm; a second component on one form throws kAlreadyExists
// followed by the form's object name. The layout file's read and write
// errors are ignored.
class TFormScaler : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ScaleHorizontal READ ScaleHorizontal WRITE setScaleHorizontal)
    Q_PROPERTY(bool ScaleVertical READ ScaleVertical WRITE setScaleVertical)
    Q_PROPERTY(bool ScaleFont READ ScaleFont WRITE setScaleFont)
    Q_PROPERTY(int DesignScreenWidth READ DesignScreenWidth WRITE setDesignScreenWidth)
    Q_PROPERTY(int DesignScreenHeight READ DesignScreenHeight WRITE setDesignScreenHeight)
    Q_PROPERTY(int DesignPixelsPerInch READ DesignPixelsPerInch WRITE setDesignPixelsPerInch)
    Q_PROPERTY(int MaximizedPosX READ MaximizedPosX WRITE setMaximizedPosX)
    Q_PROPERTY(int MaximizedPosY READ MaximizedPosY WRITE setMaximizedPosY)
    Q_PROPERTY(int MinimumTrackWidth READ MinimumTrackWidth WRITE setMinimumTrackWidth)
    Q_PROPERTY(int MinimumTrackHeight READ MinimumTrackHeight WRITE setMinimumTrackHeight)
    Q_PROPERTY(int MaximumTrackWidth READ MaximumTrackWidth WRITE setMaximumTrackWidth)
    Q_PROPERTY(int MaximumTrackHeight READ MaximumTrackHeight WRITE setMaximumTrackHeight)
    Q_PROPERTY(int DesignFormWidth READ DesignFormWidth WRITE setDesignFormWidth)
    Q_PROPERTY(int DesignFormHeight READ DesignFormHeight WRITE setDesignFormHeight)
    Q_PROPERTY(int DesignFormClientWidth READ DesignFormClientWidth WRITE setDesignFormClientWidth)
    Q_PROPERTY(
        int DesignFormClientHeight READ DesignFormClientHeight WRITE setDesignFormClientHeight)
    Q_PROPERTY(int DesignFormLeft READ DesignFormLeft WRITE setDesignFormLeft)
    Q_PROPERTY(int DesignFormTop READ DesignFormTop WRITE setDesignFormTop)
    Q_PROPERTY(bool MaintainProportions READ MaintainProportions WRITE setMaintainProportions)
    Q_PROPERTY(QFont Font READ Font WRITE setFont)
    Q_PROPERTY(QLabel* BkGrndImage READ BkGrndImage WRITE setBkGrndImage)
    Q_PROPERTY(bool DBGridSelfResize READ DBGridSelfResize WRITE setDBGridSelfResize)
    Q_PROPERTY(QString LayoutFile READ LayoutFile WRITE setLayoutFile)
    Q_PROPERTY(float Version READ Version WRITE setVersion)
    Q_PROPERTY(bool GridColumnWidthResize READ GridColumnWidthResize WRITE setGridColumnWidthResize)
    Q_PROPERTY(bool GridRowHeightResize READ GridRowHeightResize WRITE setGridRowHeightResize)
    Q_PROPERTY(bool GridFontResize READ GridFontResize WRITE setGridFontResize)
    Q_PROPERTY(bool FontWarning READ FontWarning WRITE setFontWarning)
    Q_PROPERTY(bool LookForExtraFonts READ LookForExtraFonts WRITE setLookForExtraFonts)

public:
    static constexpr const char* kOwnerMustBeForm = "Owner of TFormScaler component must be a form";
    static constexpr const char* kAlreadyExists = "A TFormScaler component already exists in ";
    static constexpr float kVersion = 401.0f;
    static constexpr const char* kPlacedByCode = "placed by code";
    // Quiet time after the last resize or move from the window system that
    // ends a drag.
    static constexpr int kDragEndMs = 250;

    explicit TFormScaler(QWidget* owner);
    ~TFormScaler() override;

    // The design metrics of a form in one call: the screen it was laid out
    // on, its resolution, its outer bounds and its client size.
    void setDesignMetrics(QSize screen, int pixelsPerInch, QRect form, QSize client);

    bool ScaleHorizontal() const { return m_scaleHorizontal; }
    void setScaleHorizontal(bool on) { m_scaleHorizontal = on; }
    bool ScaleVertical() const { return m_scaleVertical; }
    void setScaleVertical(bool on) { m_scaleVertical = on; }
    bool ScaleFont() const { return m_scaleFont; }
    void setScaleFont(bool on) { m_scaleFont = on; }
    int DesignScreenWidth() const { return m_designScreenWidth; }
    void setDesignScreenWidth(int value) { m_designScreenWidth = value; }
    int DesignScreenHeight() const { return m_designScreenHeight; }
    void setDesignScreenHeight(int value) { m_designScreenHeight = value; }
    int DesignPixelsPerInch() const { return m_designPixelsPerInch; }
    void setDesignPixelsPerInch(int value) { m_designPixelsPerInch = value; }
    // Positive: pixels; negative: percent of the screen size; 0: the
    // system's value. The same for the four track sizes.
    int MaximizedPosX() const { return m_maximizedPosX; }
    void setMaximizedPosX(int value) { m_maximizedPosX = value; }
    int MaximizedPosY() const { return m_maximizedPosY; }
    void setMaximizedPosY(int value) { m_maximizedPosY = value; }
    int MinimumTrackWidth() const { return m_minimumTrackWidth; }
    void setMinimumTrackWidth(int value);
    int MinimumTrackHeight() const { return m_minimumTrackHeight; }
    void setMinimumTrackHeight(int value);
    int MaximumTrackWidth() const { return m_maximumTrackWidth; }
    void setMaximumTrackWidth(int value);
    int MaximumTrackHeight() const { return m_maximumTrackHeight; }
    void setMaximumTrackHeight(int value);
    int DesignFormWidth() const { return m_designFormWidth; }
    void setDesignFormWidth(int value) { m_designFormWidth = value; }
    int DesignFormHeight() const { return m_designFormHeight; }
    void setDesignFormHeight(int value) { m_designFormHeight = value; }
    int DesignFormClientWidth() const { return m_designFormClientWidth; }
    void setDesignFormClientWidth(int value) { m_designFormClientWidth = value; }
    int DesignFormClientHeight() const { return m_designFormClientHeight; }
    void setDesignFormClientHeight(int value) { m_designFormClientHeight = value; }
    int DesignFormLeft() const { return m_designFormLeft; }
    void setDesignFormLeft(int value) { m_designFormLeft = value; }
    int DesignFormTop() const { return m_designFormTop; }
    void setDesignFormTop(int value) { m_designFormTop = value; }
    bool MaintainProportions() const { return m_maintainProportions; }
    void setMaintainProportions(bool on);
    // The form's font as the component keeps it (scaled); it always wins
    // over a font given to the form directly.
    QFont Font() const { return m_font; }
    void setFont(const QFont& font);
    QLabel* BkGrndImage() const { return m_bkGrndImage; }
    void setBkGrndImage(QLabel* image);
    bool DBGridSelfResize() const { return m_dbGridSelfResize; }
    void setDBGridSelfResize(bool on) { m_dbGridSelfResize = on; }
    // Resolved against the process's current folder; empty: no layout file.
    QString LayoutFile() const { return m_layoutFile; }
    void setLayoutFile(const QString& name) { m_layoutFile = name; }
    float Version() const { return kVersion; }
    void setVersion(float) {}  // stays 401.0
    bool GridColumnWidthResize() const { return m_gridColumnWidthResize; }
    void setGridColumnWidthResize(bool on) { m_gridColumnWidthResize = on; }
    bool GridRowHeightResize() const { return m_gridRowHeightResize; }
    void setGridRowHeightResize(bool on) { m_gridRowHeightResize = on; }
    bool GridFontResize() const { return m_gridFontResize; }
    void setGridFontResize(bool on) { m_gridFontResize = on; }
    bool FontWarning() const { return m_fontWarning; }
    void setFontWarning(bool on) { m_fontWarning = on; }
    bool LookForExtraFonts() const { return m_lookForExtraFonts; }
    void setLookForExtraFonts(bool on) { m_lookForExtraFonts = on; }

    // Whether the form is placed at the centre of the screen (the program's
    // forms all are); otherwise at its design position times the ratios.
    bool centred() const { return m_centred; }
    void setCentred(bool on) { m_centred = on; }

    QWidget* form() const { return m_form; }
    const std::vector<TFrame>& frames() const { return m_frames; }
    // The current screen's size and the ratios to the design screen.
    QSize screenSize() const { return QSize(m_screenWidth, m_screenHeight); }
    double rx() const { return m_rx; }
    double ry() const { return m_ry; }
    double r() const { return m_r; }
    // Where the form goes until the user moves or sizes it (outer bounds,
    // relative to the screen's available area).
    QRect targetBounds() const { return m_target; }
    QSize baselineClientSize() const { return QSize(m_baselineWidth, m_baselineHeight); }
    double fontRatio() const { return m_fontRatio; }
    bool userPhase() const { return m_userPhase; }
    bool dragging() const { return m_dragging; }
    // The bounds a control of the given design bounds has now.
    QRect scaled(const QRect& design) const;
    // The layout file as it is named now, resolved against the current folder.
    QString layoutPath() const;

    // One flag for all scalers of the process: a form went maximised.
    static bool sharedMaximized() { return s_maximized; }

signals:
    // After every rescale of the form.
    void rescaled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QWidget* checkedOwner(QWidget* owner);

    // The form level (FormScaler.cpp).
    void initialise();
    void buildControlList();
    void loadLayout();
    void saveLayout();
    void handleResize();
    void handleShow();
    void handleActivate();
    void handleStateChange();
    void countPositionChange();
    void endDrag();
    void proportionFix();
    void rescale();
    void applySizeLimits();
    void assignFont();
    void settleFormLayout();
    void paintBackground();
    void setFormBounds(const QRect& outer);
    QRect outerBounds() const;  // relative to the screen's available area
    QSize clientSize() const;
    bool isUserChange(const QEvent* event) const;

    // One control (FormScalerFrame.cpp).
    TFrame frameFor(QWidget* control) const;
    void capture(TFrame& frame);
    void captureColumns(TFrame& frame, QTableView* grid);
    void collectExtraFonts(TFrame& frame);
    void apply(TFrame& frame, double h, double v);
    void applyFonts(TFrame& frame);
    void applyColumns(TFrame& frame, QTableView* grid, double h);
    void applyRows(TFrame& frame, QTableView* grid, double v);
    void resetGridFonts(TFrame& frame, QTableView* grid);

    QWidget* m_form = nullptr;

    bool m_scaleHorizontal = true;
    bool m_scaleVertical = true;
    bool m_scaleFont = true;
    int m_designScreenWidth = 0;
    int m_designScreenHeight = 0;
    int m_designPixelsPerInch = 0;
    int m_maximizedPosX = 0;
    int m_maximizedPosY = 0;
    int m_minimumTrackWidth = 0;
    int m_minimumTrackHeight = 0;
    int m_maximumTrackWidth = 0;
    int m_maximumTrackHeight = 0;
    int m_designFormWidth = 0;
    int m_designFormHeight = 0;
    int m_designFormClientWidth = 0;
    int m_designFormClientHeight = 0;
    int m_designFormLeft = 0;
    int m_designFormTop = 0;
    bool m_maintainProportions = false;
    QFont m_font;
    QPointer<QLabel> m_bkGrndImage;
    bool m_dbGridSelfResize = false;
    QString m_layoutFile;
    bool m_gridColumnWidthResize = true;
    bool m_gridRowHeightResize = true;
    bool m_gridFontResize = true;
    bool m_fontWarning = true;
    bool m_lookForExtraFonts = true;
    bool m_centred = true;

    // The screen and the ratios.
    QPoint m_screenOrigin;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    int m_screenPixelsPerInch = 0;
    double m_rx = 1.0;
    double m_ry = 1.0;
    double m_r = 1.0;
    QRect m_target;
    int m_initialFontSize = 0;
    int m_baselineWidth = 0;
    int m_baselineHeight = 0;
    double m_baselineFontSize = 0;
    double m_fontRatio = 1.0;
    double m_h = 1.0;  // client size over the baseline, at the last rescale
    double m_v = 1.0;
    // The maximised size computed with MaintainProportions (0: the system's).
    int m_maximizedWidth = 0;
    int m_maximizedHeight = 0;

    std::vector<TFrame> m_frames;
    QSize m_dragStartSize;
    // From the layout file.
    std::array<double, 4> m_fractions{};
    bool m_positionFromFile = false;
    bool m_sizeFromFile = false;
    WindowPlacement m_placement;

    bool m_needsInitialising = true;
    bool m_initialising = false;
    bool m_firstRescalePending = true;
    bool m_notYetShown = true;
    bool m_userPhase = false;
    bool m_dragging = false;
    bool m_resizedDuringDrag = false;
    bool m_maximisePending = false;
    bool m_placementLoaded = false;
    bool m_restorePlacement = false;
    bool m_inResize = false;
    bool m_inFontAssign = false;
    bool m_limitsApplied = false;
    int m_positionChanges = 0;
    QTimer m_dragTimer;
    QTimer m_stateTimer;  // a state change that brought no resize
    QElapsedTimer m_sinceStateChange;

    static bool s_maximized;
};
