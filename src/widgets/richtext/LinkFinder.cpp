#include "widgets/richtext/LinkFinder.h"

#include <QRegularExpression>

namespace richtext {

QList<FoundLink> findLinks(const QString& text) {
    static const QRegularExpression kLink(
        QStringLiteral(R"((?<![\w@.\-/])(?:https?://|ftp://|mailto:|www\.)[^\s<>"'\x{2028}]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QList<FoundLink> links;
    auto it = kLink.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QString address = match.captured(0);
        // A closing bracket belongs to the address only when it opened there.
        while (!address.isEmpty()) {
            const QChar last = address.back();
            if (QStringLiteral(".,;:!?").contains(last) ||
                (last == QLatin1Char(')') &&
                 address.count(QLatin1Char('(')) < address.count(QLatin1Char(')'))) ||
                (last == QLatin1Char(']') &&
                 address.count(QLatin1Char('[')) < address.count(QLatin1Char(']'))))
                address.chop(1);
            else
                break;
        }
        const QString lower = address.toLower();
        if (lower == QLatin1String("www.") || lower.endsWith(QLatin1String("://")) ||
            lower == QLatin1String("mailto:"))
            continue;
        QString target = address;
        if (lower.startsWith(QLatin1String("www.")))
            target.prepend(QLatin1String("http://"));
        const QUrl url(target, QUrl::TolerantMode);
        if (!url.isValid())
            continue;
        links.append({match.capturedStart(0), address.size(), url});
    }
    return links;
}

}  // namespace richtext
