#include "widgets/controls/IncrementalSearch.h"

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "engine/xbase.h"
#include "widgets/data/ErrorBox.h"

#include <QGuiApplication>
#include <QPalette>

#include <string>

class IncrementalSearch::Link : public TDataLink {};

namespace {

QString engineText(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The engine's area selected for the lifetime of the object; the area that
// was current before is selected again afterwards.
class AreaGuard {
public:
    explicit AreaGuard(int area) : m_previous(xb_Select(area)), m_area(area) {}
    ~AreaGuard() {
        if (m_previous != 0 && m_previous != m_area)
            xb_Select(m_previous);
    }
    AreaGuard(const AreaGuard&) = delete;
    AreaGuard& operator=(const AreaGuard&) = delete;

private:
    int m_previous;
    int m_area;
};

}  // namespace

IncrementalSearch::IncrementalSearch(QWidget* parent)
    : QLineEdit(parent), m_link(std::make_unique<Link>()) {
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        try {
            search(text);
        } catch (const std::exception& error) {
            qly::showErrorBox(QString::fromUtf8(error.what()), window());
        }
    });
}

IncrementalSearch::~IncrementalSearch() {
    m_link->setDataSource(nullptr);
}

void IncrementalSearch::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
}

TDataSource* IncrementalSearch::dataSource() const {
    return m_link->dataSource();
}

void IncrementalSearch::showMatch(bool matched) {
    m_matched = matched;
    QPalette p = palette();
    p.setColor(QPalette::Text,
               matched ? QGuiApplication::palette().color(QPalette::Text) : QColor(178, 34, 34));
    setPalette(p);
}

long IncrementalSearch::findItem(const QString& text) {
    TDbTable* table = m_link->dataSet();
    AreaGuard guard(table->workArea());
    const std::string field = m_field.toLatin1().toStdString();
    long found = 0;
    xb_GoTop();
    while (!xb_Eof()) {
        const QString value = engineText(xb_GetString(field));
        if (value.startsWith(text, Qt::CaseInsensitive)) {
            found = xb_RecNo();
            break;
        }
        if (!xb_Skip(1))
            break;
    }
    table->selectArea(true);
    return found;
}

long IncrementalSearch::findKey(const QString& text) {
    TDbTable* table = m_link->dataSet();
    AreaGuard guard(table->workArea());
    const std::string key = text.toLatin1().toStdString();
    long found = 0;
    if (xb_IndexOrd() != 0) {
        const int softSeek = xb_SetSoftSeek(-1);
        xb_Seek(key);
        if (xb_Eof()) {
            // no key from the text on: the text sorts before the scope (its
            // first record) or after every key (the last record)
            xb_GoTop();
            const std::string first = xb_GetString(m_field.toLatin1().toStdString());
            if (xb_Eof() || first.compare(0, key.size(), key) < 0)
                xb_GoBottom();
        }
        found = xb_Eof() ? 0 : xb_RecNo();
        xb_SetSoftSeek(softSeek);
    } else {
        // record order: the record with the least value not below the text
        const std::string field = m_field.toLatin1().toStdString();
        std::string best;
        std::string last;
        long lastRecord = 0;
        xb_GoTop();
        while (!xb_Eof()) {
            const std::string value = xb_GetString(field);
            const bool notBelow = value.compare(0, key.size(), key) >= 0;
            if (notBelow && (found == 0 || value < best)) {
                best = value;
                found = xb_RecNo();
            }
            if (lastRecord == 0 || value >= last) {
                last = value;
                lastRecord = xb_RecNo();
            }
            if (!xb_Skip(1))
                break;
        }
        if (found == 0)
            found = lastRecord;
    }
    table->selectArea(true);
    return found;
}

bool IncrementalSearch::search(const QString& text) {
    TDbTable* table = m_link->dataSet();
    if (!table || !table->active() || m_field.isEmpty())
        return false;
    table->checkBrowseMode();
    long found = 0;
    if (m_mode == Mode::Items)
        found = findItem(text);
    else
        found = findKey(text);
    if (found > 0 && found != table->recNo())
        table->gotoRecord(found);
    showMatch(found > 0);
    return found > 0;
}
