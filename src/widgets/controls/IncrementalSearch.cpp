#include "widgets/controls/IncrementalSearch.h"

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "widgets/data/ErrorBox.h"

#include <QGuiApplication>
#include <QPalette>

class IncrementalSearch::Link : public TDataLink {};

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

bool IncrementalSearch::search(const QString& text) {
    TDbTable* table = m_link->dataSet();
    if (!table || !table->active() || m_field.isEmpty())
        return false;
    const bool found = m_mode == Mode::Items ? table->locate(m_field, text, true)
                                             : table->seekNearest(m_field, text);
    showMatch(found);
    return found;
}
