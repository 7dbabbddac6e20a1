#pragma once

#include <QLineEdit>
#include <QString>

#include <memory>

class TDataSource;

// An incremental search box on a data source's table: every change of its
// text moves the table to the record the text finds; the box keeps the text.
//
// - Items: the first record, in the table's order and among the records the
//   filter lets through, whose field begins with the text, compared without
//   regard to letter case. When no record matches, the table stays where it
//   is and the box shows the text in red until it matches again. An empty
//   text goes to the first record.
// - Keyed: a search on the table's index order within its scope: the first
//   record whose key begins with the text or, where none does, the first
//   whose key sorts after it; past the last key, the last record. (A table
//   read in record order is searched the same way by comparing the field's
//   values.)
class IncrementalSearch : public QLineEdit {
    Q_OBJECT

public:
    enum class Mode { Items, Keyed };

    explicit IncrementalSearch(QWidget* parent = nullptr);
    ~IncrementalSearch() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setSearchField(const QString& field) { m_field = field; }
    QString searchField() const { return m_field; }
    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }

    // Moves the table for this text (what typing does); true when a record
    // matched (Items) or the table moved to a record (Keyed).
    bool search(const QString& text);
    // Whether the last search found a match.
    bool matched() const { return m_matched; }

private:
    void showMatch(bool matched);

    class Link;
    std::unique_ptr<Link> m_link;
    QString m_field;
    Mode m_mode = Mode::Items;
    bool m_matched = true;
};
