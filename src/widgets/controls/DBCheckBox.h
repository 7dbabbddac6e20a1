#pragma once

#include <QCheckBox>
#include <QString>

#include <memory>

class TDataSource;
class TField;

namespace qly::controls {
class FieldLink;
}

// A data-aware check box on a logical field: checked shows true. A click
// puts the table into edit state and writes the new value into the field.
class DBCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit DBCheckBox(QWidget* parent = nullptr);
    ~DBCheckBox() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const;
    TField* field() const;

private:
    void showField();
    void toggledByUser(bool checked);

    std::unique_ptr<qly::controls::FieldLink> m_link;
};
