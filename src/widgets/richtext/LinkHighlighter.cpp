#include "widgets/richtext/LinkHighlighter.h"

#include "widgets/richtext/LinkFinder.h"

#include <QGuiApplication>
#include <QPalette>

LinkHighlighter::LinkHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void LinkHighlighter::highlightBlock(const QString& text) {
    const QList<richtext::FoundLink> links = richtext::findLinks(text);
    if (links.isEmpty())
        return;
    QTextCharFormat link;
    link.setForeground(QGuiApplication::palette().color(QPalette::Link));
    link.setFontUnderline(true);
    for (const richtext::FoundLink& found : links) {
        link.setAnchorHref(found.url.toString());
        setFormat(static_cast<int>(found.start), static_cast<int>(found.length), link);
    }
}
