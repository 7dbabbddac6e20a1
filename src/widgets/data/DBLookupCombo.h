#pragma once

#include "data/GridModel.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QFrame;
class QStyleOptionComboBox;
class QLineEdit;
class QTableView;
class QToolButton;
class TDataSource;

// A lookup drop-down box: an edit line with a drop-down button whose list
// shows the records of another table (the lookup source) in that table's
// order, in titled columns, read lazily so that a table of any size opens at
// once. Its value is the key field of the chosen record (e.g. a
// manufacturer's COMPANY).
//
// Typing completes the text to the first value of the key field that begins
// with what was typed (in the list's order; the case of the letters typed
// need not match), selecting the completed part; deleting characters does
// not complete again.
//
// The box may be bound to a field of a data source (setDataSource,
// setDataField): it then shows that field of the current record, and a value
// typed or chosen is written into the field, putting the table into edit
// state (or appending a record to an empty table). It never posts.
//
// Choosing from the list never moves the lookup table's current record.
class DBLookupCombo : public QWidget {
    Q_OBJECT

public:
    explicit DBLookupCombo(QWidget* parent = nullptr);
    ~DBLookupCombo() override;

    // ---- The list
    void setLookupSource(TDataSource* source);
    TDataSource* lookupSource() const;
    // Display columns; the key field must be one of them.
    void setLookupColumns(const QList<GridColumn>& columns);
    void setLookupField(const QString& field);
    QString lookupField() const { return m_lookupField; }
    void setShowTitles(bool on);
    GridModel* listModel() const { return m_model; }

    // ---- The bound field
    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const { return m_dataField; }

    // ---- The text
    QString text() const;
    // Sets the text (and the bound field); emits changed when it differs.
    void setText(const QString& text);
    void clear() { setText(QString()); }
    QLineEdit* lineEdit() const { return m_edit; }

    // The first key value that begins with prefix (exact case first, then
    // without regard to case), or an empty text; the row it is on in *row.
    QString findCompletion(const QString& prefix, int* row = nullptr) const;

    // ---- The list window
    void showPopup();
    void hidePopup();
    bool isPopupVisible() const;
    QTableView* listView() const { return m_list; }
    // Chooses the value of the list's row: sets the text, then emits
    // changed and clicked, as a click on that row does.
    void chooseRow(int row);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Every change of the text: typed, completed, chosen or set.
    void changed();
    // A click in the box, or a value chosen from its list.
    void clicked();
    // The box received the keyboard focus.
    void entered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    class FieldLink;
    friend class FieldLink;

    void onTextEdited(const QString& text);
    void writeField();
    void showFieldValue();
    void showStart();
    QString keyOfRow(int row) const;
    int keyColumn() const;
    int lowerBound(const QString& key) const;
    void positionPopup();
    void layoutEdit();
    void initStyleOption(QStyleOptionComboBox* option) const;
    void reportError(const std::exception& error);

    QLineEdit* m_edit = nullptr;
    QToolButton* m_button = nullptr;
    QFrame* m_popup = nullptr;
    QTableView* m_list = nullptr;
    GridModel* m_model = nullptr;
    std::unique_ptr<FieldLink> m_link;
    QString m_dataField;
    QString m_lookupField;
    bool m_lastKeyDeletes = false;  // the last key pressed removes text
    bool m_writing = false;         // the box is writing its field
    bool m_showing = false;         // the text is being set from the field or by code
};
