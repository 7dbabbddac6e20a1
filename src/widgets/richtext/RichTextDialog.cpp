#include "widgets/richtext/RichTextDialog.h"

#include "widgets/richtext/RichTextEdit.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QIntValidator>
#include <QPainter>
#include <QPixmap>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("Edit Rich Text");

// A tool-bar action with a theme icon where the desktop has one and its
// text otherwise.
QAction* makeAction(QToolBar* bar, const QString& name, const QString& text, const QString& icon,
                    const QString& tip, bool checkable) {
    QAction* action = bar->addAction(QIcon::fromTheme(icon), text);
    action->setObjectName(name);
    action->setToolTip(tip);
    action->setCheckable(checkable);
    return action;
}

// A square showing the colour, for the colour button.
QIcon colorIcon(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(color.isValid() ? color : QColor(Qt::black));
    painter.drawRect(1, 1, 13, 13);
    return QIcon(pixmap);
}

}  // namespace

RichTextDialog::RichTextDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RichTextDialog"));
    setWindowTitle(kCaption);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("formatBar"));
    // Without an icon theme the buttons show their text.
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    layout->addWidget(bar);

    m_editor = new RichTextEdit(this);
    m_editor->setObjectName(QStringLiteral("editor"));
    m_editor->setEditorAvailable(false);
    m_editor->setTabChangesFocus(false);
    layout->addWidget(m_editor, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    buildToolBar(bar);
    connect(m_editor, &QTextEdit::currentCharFormatChanged, this, &RichTextDialog::showState);
    connect(m_editor, &QTextEdit::cursorPositionChanged, this, &RichTextDialog::showState);
    resize(700, 440);
    showState();
}

RichTextDialog::~RichTextDialog() = default;

void RichTextDialog::buildToolBar(QToolBar* bar) {
    m_font = new QFontComboBox(bar);
    m_font->setObjectName(QStringLiteral("fontCombo"));
    m_font->setToolTip(tr("Font"));
    m_font->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_font->setMinimumContentsLength(14);
    bar->addWidget(m_font);
    connect(m_font, &QFontComboBox::textActivated, this, [this](const QString& family) {
        QTextCharFormat format;
        format.setFontFamilies({family});
        mergeFormat(format);
    });

    m_size = new QComboBox(bar);
    m_size->setObjectName(QStringLiteral("sizeCombo"));
    m_size->setToolTip(tr("Size"));
    m_size->setEditable(true);
    m_size->setValidator(new QIntValidator(1, 999, m_size));
    for (int size : QFontDatabase::standardSizes())
        m_size->addItem(QString::number(size));
    bar->addWidget(m_size);
    connect(m_size, &QComboBox::textActivated, this, [this](const QString& text) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size <= 0)
            return;
        QTextCharFormat format;
        format.setFontPointSize(size);
        mergeFormat(format);
    });
    bar->addSeparator();

    m_bold = makeAction(bar, QStringLiteral("boldAction"), tr("B"),
                        QStringLiteral("format-text-bold"), tr("Bold"), true);
    m_bold->setShortcut(QKeySequence::Bold);
    connect(m_bold, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat format;
        format.setFontWeight(on ? QFont::Bold : QFont::Normal);
        mergeFormat(format);
    });
    m_italic = makeAction(bar, QStringLiteral("italicAction"), tr("I"),
                          QStringLiteral("format-text-italic"), tr("Italic"), true);
    m_italic->setShortcut(QKeySequence::Italic);
    connect(m_italic, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat format;
        format.setFontItalic(on);
        mergeFormat(format);
    });
    m_underline = makeAction(bar, QStringLiteral("underlineAction"), tr("U"),
                             QStringLiteral("format-text-underline"), tr("Underline"), true);
    m_underline->setShortcut(QKeySequence::Underline);
    connect(m_underline, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat format;
        format.setFontUnderline(on);
        mergeFormat(format);
    });
    if (auto* w = bar->widgetForAction(m_bold)) {
        QFont f = w->font();
        f.setBold(true);
        w->setFont(f);
    }
    if (auto* w = bar->widgetForAction(m_italic)) {
        QFont f = w->font();
        f.setItalic(true);
        w->setFont(f);
    }
    if (auto* w = bar->widgetForAction(m_underline)) {
        QFont f = w->font();
        f.setUnderline(true);
        w->setFont(f);
    }
    m_color = makeAction(bar, QStringLiteral("colorAction"), tr("Colour"), QString(),
                         tr("Text colour"), false);
    connect(m_color, &QAction::triggered, this, &RichTextDialog::chooseColor);
    bar->addSeparator();

    auto* alignment = new QActionGroup(this);
    m_left = makeAction(bar, QStringLiteral("alignLeftAction"), tr("Left"),
                        QStringLiteral("format-justify-left"), tr("Align left"), true);
    m_center = makeAction(bar, QStringLiteral("alignCenterAction"), tr("Center"),
                          QStringLiteral("format-justify-center"), tr("Center"), true);
    m_right = makeAction(bar, QStringLiteral("alignRightAction"), tr("Right"),
                         QStringLiteral("format-justify-right"), tr("Align right"), true);
    m_justify = makeAction(bar, QStringLiteral("alignJustifyAction"), tr("Justify"),
                           QStringLiteral("format-justify-fill"), tr("Justify"), true);
    for (QAction* action : {m_left, m_center, m_right, m_justify})
        alignment->addAction(action);
    connect(m_left, &QAction::triggered, this, [this] { setAlignment(Qt::AlignLeft); });
    connect(m_center, &QAction::triggered, this, [this] { setAlignment(Qt::AlignHCenter); });
    connect(m_right, &QAction::triggered, this, [this] { setAlignment(Qt::AlignRight); });
    connect(m_justify, &QAction::triggered, this, [this] { setAlignment(Qt::AlignJustify); });
    bar->addSeparator();

    m_bullets = makeAction(bar, QStringLiteral("bulletAction"), tr("Bullets"),
                           QStringLiteral("format-list-unordered"), tr("Bullets"), true);
    connect(m_bullets, &QAction::triggered, this, &RichTextDialog::setBullets);
}

void RichTextDialog::setRtf(const QByteArray& rtf) {
    m_editor->setRtf(rtf);
    m_editor->moveCursor(QTextCursor::Start);
    showState();
}

QByteArray RichTextDialog::rtf() const {
    return m_editor->rtf();
}

bool RichTextDialog::isModified() const {
    return m_editor->document()->isModified();
}

void RichTextDialog::setLinkRecognition(bool on) {
    m_editor->setLinkRecognition(on);
}

void RichTextDialog::setReadOnly(bool on) {
    m_editor->setReadOnly(on);
    for (QAction* action :
         {m_bold, m_italic, m_underline, m_color, m_left, m_center, m_right, m_justify, m_bullets})
        action->setEnabled(!on);
    m_font->setEnabled(!on);
    m_size->setEnabled(!on);
}

void RichTextDialog::mergeFormat(const QTextCharFormat& format) {
    QTextCursor cursor = m_editor->textCursor();
    if (!cursor.hasSelection())
        cursor.select(QTextCursor::WordUnderCursor);
    cursor.mergeCharFormat(format);
    m_editor->mergeCurrentCharFormat(format);
    m_editor->setFocus();
}

void RichTextDialog::chooseColor() {
    const QColor color = QColorDialog::getColor(m_editor->textColor(), this, tr("Text colour"));
    if (!color.isValid())
        return;
    QTextCharFormat format;
    format.setForeground(color);
    mergeFormat(format);
    showState();
}

void RichTextDialog::setAlignment(Qt::Alignment alignment) {
    m_editor->setAlignment(alignment);
    m_editor->setFocus();
}

void RichTextDialog::setBullets(bool on) {
    QTextCursor cursor = m_editor->textCursor();
    cursor.beginEditBlock();
    if (on) {
        QTextListFormat format;
        format.setStyle(QTextListFormat::ListDisc);
        format.setIndent(1);
        cursor.createList(format);
    } else {
        const QTextBlock first = m_editor->document()->findBlock(cursor.selectionStart());
        const QTextBlock last = m_editor->document()->findBlock(cursor.selectionEnd());
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            if (QTextList* list = block.textList())
                list->remove(block);
            QTextCursor at(block);
            QTextBlockFormat format = block.blockFormat();
            format.setIndent(0);
            at.setBlockFormat(format);
            if (block == last)
                break;
        }
    }
    cursor.endEditBlock();
    m_editor->setFocus();
    showState();
}

void RichTextDialog::showState() {
    const QTextCharFormat format = m_editor->currentCharFormat();
    const QFont font = format.font();
    m_font->blockSignals(true);
    m_font->setCurrentFont(font);
    m_font->blockSignals(false);
    const qreal points = format.hasProperty(QTextFormat::FontPointSize)
                             ? format.fontPointSize()
                             : m_editor->font().pointSizeF();
    m_size->blockSignals(true);
    m_size->setEditText(QString::number(qRound(points)));
    m_size->blockSignals(false);
    m_bold->setChecked(font.bold());
    m_italic->setChecked(font.italic());
    m_underline->setChecked(font.underline());
    m_color->setIcon(colorIcon(m_editor->textColor()));
    const Qt::Alignment align = m_editor->alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignJustify)
        m_justify->setChecked(true);
    else if (align & Qt::AlignHCenter)
        m_center->setChecked(true);
    else if (align & (Qt::AlignRight | Qt::AlignTrailing))
        m_right->setChecked(true);
    else
        m_left->setChecked(true);
    m_bullets->setChecked(m_editor->textCursor().currentList() != nullptr);
}
