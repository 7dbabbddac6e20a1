#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <memory>

class TDataSource;
class TField;

namespace qly::controls {
class FieldLink;
}

// A data-aware editable drop-down list: the list offers choices (sorted, as
// given), any other text may be typed. Choosing an entry or typing puts the
// table into edit state; a choice is handed over to the field at once, typed
// text when the box loses the focus and before the record is posted.
class DBComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit DBComboBox(QWidget* parent = nullptr);
    ~DBComboBox() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const;
    TField* field() const;

    // The entries of the list, sorted.
    void setEntries(const QStringList& entries);

    bool pendingChange() const { return m_pending; }
    // Hands a pending change over; throws QlyError when the field refuses it.
    void updateRecord();
    void reset();

public slots:
    void cut();
    void copy();
    void paste();

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showField();
    bool beginChange();
    void reportError(const std::exception& error);

    std::unique_ptr<qly::controls::FieldLink> m_link;
    bool m_pending = false;
    bool m_showing = false;
    bool m_reporting = false;
};
