#pragma once

#include "widgets/richtext/Rtf.h"

#include <QByteArray>
#include <QTextEdit>
#include <QUrl>

class LinkHighlighter;

// The rich-text editor control of the item, manufacturer and location
// pages: a text edit that loads and gives back a memo's RTF.
//
// With link recognition on, web and mail addresses in the text are shown as
// links and open with a click; they are recognised on display only and are
// not written into the RTF (links the memo itself holds as hyperlink fields
// stay fields). A double click, or "Edit Rich Text..." in the context menu,
// opens the "Edit Rich Text" window on a copy of the text and puts the copy
// back when the window is closed with OK.
class RichTextEdit : public QTextEdit {
    Q_OBJECT

public:
    explicit RichTextEdit(QWidget* parent = nullptr);
    ~RichTextEdit() override;

    // Loads a memo (RTF or plain text); the control counts as unmodified.
    void setRtf(const QByteArray& rtf);
    // The text as RTF; the loaded bytes themselves while nothing changed.
    QByteArray rtf() const;
    // How the last setRtf went.
    richtext::RtfReadResult readResult() const { return m_readResult; }

    void setLinkRecognition(bool on);
    bool linkRecognition() const { return m_highlighter != nullptr; }

    // Whether a double click and the context menu offer the full-size
    // window (on by default; off in the window's own editor).
    void setEditorAvailable(bool on) { m_editorAvailable = on; }
    bool editorAvailable() const { return m_editorAvailable; }

    // The link at a point of the viewport: a hyperlink of the text, or a
    // recognised address; empty where there is none.
    QUrl linkAt(const QPoint& viewportPos) const;

public slots:
    // Shows the "Edit Rich Text" window; true when its change was taken.
    bool openEditor();

signals:
    // The user changed the text or its formatting.
    void modified();
    // A link was clicked and is being opened.
    void linkActivated(const QUrl& url);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void load(const QByteArray& rtf);
    void activate(const QUrl& url);

    LinkHighlighter* m_highlighter = nullptr;
    QByteArray m_loaded;
    richtext::RtfReadResult m_readResult;
    bool m_loading = false;
    bool m_editorAvailable = true;
    QUrl m_pressedLink;
    QPoint m_pressPos;
};
