#include "widgets/version/VersionLabel.h"

#include "version/Executable.h"
#include "version/VersionText.h"

#include <QEvent>
#include <QFile>

namespace {

struct Entry {
    const char* key;
    const char* prefix;
};

// In the order of TVersionResources.
constexpr Entry kEntries[] = {
    {"CompanyName", "Company Name:"},
    {"FileDescription", "File Description:"},
    {"FileVersion", "File Version:"},
    {"InternalName", "Internal Name:"},
    {"LegalCopyright", "Legal Copyright:"},
    {"OriginalFilename", "Original Filename:"},
    {"ProductName", "Product Name:"},
    {"ProductVersion", "Product Version:"},
    {"Comments", "Comments:"},
    {"Flags", "Flags:"},
};

}  // namespace

QString TVersionLabel::keyOf(TVersionResources resource) {
    return QString::fromLatin1(kEntries[resource].key);
}

QString TVersionLabel::prefixOf(TVersionResources resource) {
    return QString::fromLatin1(kEntries[resource].prefix);
}

TVersionLabel::TVersionLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);  // a file's text is never taken as markup
    m_infoString.clear();
    m_filename.clear();
    setWordWrap(false);
    setAutoSize(true);
    setShowInfoPrefix(true);
    setLangCharset(QString::fromLatin1(qly::version::kFirstLangCharset));
    setVersionResource(vrFileVersion);
}

TVersionLabel::~TVersionLabel() = default;

void TVersionLabel::setVersionResource(TVersionResources resource) {
    if (resource < vrCompanyName || resource > vrFlags)
        return;  // no such entry
    m_resource = resource;
    setVersionResourceKey(keyOf(resource));
    setInfoPrefix(prefixOf(resource));
}

void TVersionLabel::setVersionResourceKey(const QString& key) {
    if (key == m_key)
        return;
    m_key = key;
    setInfoPrefix(key);
}

void TVersionLabel::setInfoPrefix(const QString& prefix) {
    if (prefix == m_prefix)
        return;
    m_prefix = prefix;
    refresh();
}

void TVersionLabel::setShowInfoPrefix(bool on) {
    if (on == m_showPrefix)
        return;
    m_showPrefix = on;
    refresh();
}

void TVersionLabel::setLangCharset(const QString& langCharset) {
    if (langCharset == m_langCharset)
        return;
    m_langCharset = langCharset;
    refresh();
}

void TVersionLabel::setAutoSize(bool on) {
    m_autoSize = on;
    fitToText();
}

void TVersionLabel::setFilename(const QString& filename) {
    m_filename = filename;
    refresh();
}

void TVersionLabel::refresh() {
    qly::version::EntryQuery query;
    query.flags = m_resource == vrFlags;
    query.key = m_key.toStdString();
    query.langCharset = m_langCharset.toStdString();
    const std::string file = m_filename.isEmpty() ? qly::version::programFile()
                                                  : QFile::encodeName(m_filename).toStdString();
    QString text = QString::fromStdString(qly::version::entryText(file, query));
    m_langCharset = QString::fromStdString(query.langCharset);
    if (m_showPrefix)
        text = m_prefix + QLatin1Char(' ') + text;
    setText(text);
    m_infoString = this->text();
    fitToText();
}

void TVersionLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToText();
}

void TVersionLabel::fitToText() {
    if (!m_autoSize)
        return;
    if (wordWrap())
        resize(width(), heightForWidth(width()));
    else
        resize(sizeHint());
}
