#pragma once

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Field.h"

#include <QString>

#include <functional>

namespace qly::controls {

// The link of a data-aware control to one field of a data source. It calls
// show whenever the control must show the field again (the table opened or
// closed, another record became current, the records were read again, the
// field changed, an edit or insertion began or ended) and handOver before
// the record is posted.
class FieldLink : public TDataLink {
public:
    std::function<void()> show;
    std::function<void()> handOver;

    QString fieldName;
    // While set, notices do not call show (the control itself is writing).
    bool quiet = false;

    // The bound field of the open table, or nullptr.
    TField* field() const {
        TDbTable* table = dataSet();
        if (!table || !table->active() || fieldName.isEmpty())
            return nullptr;
        return table->findField(fieldName);
    }
    // The field's value is there to be shown: a record is current or being inserted.
    bool hasRecord() const {
        TDbTable* table = dataSet();
        return table && table->active() && !table->isEmpty();
    }

    void activeChanged() override { notify(); }
    void dataSetChanged() override { notify(); }
    void dataSetScrolled() override { notify(); }
    void editingChanged() override { notify(); }
    void recordChanged(TField* changed) override {
        if (!changed || changed == field())
            notify();
    }
    void updateData() override {
        if (handOver)
            handOver();
    }

private:
    void notify() {
        if (!quiet && show)
            show();
    }
};

// Removes trailing blanks (character fields come back padded).
inline QString trimRight(QString text) {
    int end = static_cast<int>(text.size());
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

}  // namespace qly::controls
