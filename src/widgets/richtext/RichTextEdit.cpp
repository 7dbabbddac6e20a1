#include "widgets/richtext/RichTextEdit.h"

#include "widgets/richtext/LinkFinder.h"
#include "widgets/richtext/LinkHighlighter.h"
#include "widgets/richtext/RichTextDialog.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>

#include <memory>

RichTextEdit::RichTextEdit(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    // On a page, Tab moves on to the next field as in the other controls.
    setTabChangesFocus(true);
    viewport()->setMouseTracking(true);
    connect(document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (!m_loading && (removed > 0 || added > 0))
            emit modified();
    });
}

RichTextEdit::~RichTextEdit() = default;

void RichTextEdit::setRtf(const QByteArray& rtf) {
    load(rtf);
}

void RichTextEdit::load(const QByteArray& rtf) {
    m_loading = true;
    m_readResult = richtext::readRtf(rtf, document());
    m_loaded = rtf;
    document()->setModified(false);
    m_loading = false;
}

QByteArray RichTextEdit::rtf() const {
    if (!document()->isModified())
        return m_loaded;
    return richtext::writeRtf(document());
}

void RichTextEdit::setLinkRecognition(bool on) {
    if (on == linkRecognition())
        return;
    m_loading = true;
    if (on) {
        m_highlighter = new LinkHighlighter(document());
    } else {
        delete m_highlighter;
        m_highlighter = nullptr;
    }
    m_loading = false;
}

QUrl RichTextEdit::linkAt(const QPoint& viewportPos) const {
    const QString anchor = anchorAt(viewportPos);
    if (!anchor.isEmpty())
        return QUrl(anchor, QUrl::TolerantMode);
    if (m_highlighter == nullptr)
        return {};
    const QPointF contentPos(viewportPos.x() + horizontalScrollBar()->value(),
                             viewportPos.y() + verticalScrollBar()->value());
    const int position = document()->documentLayout()->hitTest(contentPos, Qt::ExactHit);
    if (position < 0)
        return {};
    const QTextBlock block = document()->findBlock(position);
    const qsizetype offset = position - block.position();
    for (const richtext::FoundLink& link : richtext::findLinks(block.text())) {
        if (offset >= link.start && offset < link.start + link.length)
            return link.url;
    }
    return {};
}

void RichTextEdit::activate(const QUrl& url) {
    emit linkActivated(url);
    QDesktopServices::openUrl(url);
}

void RichTextEdit::mousePressEvent(QMouseEvent* event) {
    m_pressedLink =
        event->button() == Qt::LeftButton ? linkAt(event->position().toPoint()) : QUrl();
    m_pressPos = event->position().toPoint();
    QTextEdit::mousePressEvent(event);
}

void RichTextEdit::mouseMoveEvent(QMouseEvent* event) {
    QTextEdit::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton) {
        const bool overLink = !linkAt(event->position().toPoint()).isEmpty();
        viewport()->setCursor(overLink       ? Qt::PointingHandCursor
                              : isReadOnly() ? Qt::ArrowCursor
                                             : Qt::IBeamCursor);
    }
}

void RichTextEdit::mouseReleaseEvent(QMouseEvent* event) {
    QTextEdit::mouseReleaseEvent(event);
    const QUrl pressed = m_pressedLink;
    m_pressedLink.clear();
    if (event->button() != Qt::LeftButton || pressed.isEmpty())
        return;
    const QPoint pos = event->position().toPoint();
    if ((pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
        return;
    if (linkAt(pos) == pressed && !textCursor().hasSelection())
        activate(pressed);
}

void RichTextEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (m_editorAvailable && event->button() == Qt::LeftButton) {
        event->accept();
        openEditor();
        return;
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

void RichTextEdit::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint contentPos(event->pos().x() + horizontalScrollBar()->value(),
                            event->pos().y() + verticalScrollBar()->value());
    std::unique_ptr<QMenu> menu(createStandardContextMenu(contentPos));
    const QUrl link = linkAt(event->pos());
    if (!link.isEmpty()) {
        menu->addSeparator();
        QAction* open = menu->addAction(tr("Open Link"));
        open->setObjectName(QStringLiteral("openLinkAction"));
        connect(open, &QAction::triggered, this, [this, link] { activate(link); });
    }
    if (m_editorAvailable) {
        menu->addSeparator();
        QAction* edit = menu->addAction(tr("Edit Rich Text..."));
        edit->setObjectName(QStringLiteral("editRichTextAction"));
        connect(edit, &QAction::triggered, this, &RichTextEdit::openEditor);
    }
    menu->exec(event->globalPos());
}

bool RichTextEdit::openEditor() {
    RichTextDialog dialog(this);
    dialog.setLinkRecognition(linkRecognition());
    dialog.setReadOnly(isReadOnly());
    dialog.setRtf(rtf());
    if (dialog.exec() != QDialog::Accepted || isReadOnly() || !dialog.isModified())
        return false;
    load(dialog.rtf());
    // The control now differs from what the data gave it.
    document()->setModified(true);
    emit modified();
    return true;
}
