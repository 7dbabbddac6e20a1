#pragma once

class TDataSource;
class TDbTable;
class TField;

// The link a data-aware control (or a companion) keeps to a data source.
// Derive from it and override the notices you need; the data source calls
// them. Setting the data source to nullptr, or destroying either side,
// unlinks.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);
    TDbTable* dataSet() const;

    bool active() const;   // bound to an open table
    bool editing() const;  // the table is in edit or insert state
    // Puts the table into edit state (when browsing) so that a control can
    // write a value; returns editing().
    bool edit();

    // ---- Notices from the data source
    virtual void activeChanged() {}   // the table was opened or closed
    virtual void dataSetChanged() {}  // the records were read again
    virtual void recordChanged(TField* field) {
        (void)field;
    }                                  // field's value changed (nullptr: the whole record)
    virtual void dataSetScrolled() {}  // another record became current
    virtual void editingChanged() {}   // edit/insert began or ended
    virtual void stateChanged() {}     // any change of state
    virtual void updateData() {}       // before post: write a pending value into the field

private:
    friend class TDataSource;
    TDataSource* m_dataSource = nullptr;
};
