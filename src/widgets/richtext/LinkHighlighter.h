#pragma once

#include <QSyntaxHighlighter>

// Shows the web and mail addresses of a document as links. The link look is
// laid over the text for display only: the document, and so the RTF written
// from it, stays as it was.
class LinkHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    explicit LinkHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;
};
