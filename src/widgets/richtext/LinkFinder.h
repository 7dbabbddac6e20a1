#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace richtext {

// A web or mail address found in a line of text.
struct FoundLink {
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;
};

// The addresses in the text: those starting with http://, https://, ftp://,
// www. or mailto:. Punctuation that ends a sentence is not part of one.
QList<FoundLink> findLinks(const QString& text);

}  // namespace richtext
