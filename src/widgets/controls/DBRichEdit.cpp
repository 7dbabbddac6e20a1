#include "widgets/controls/DBRichEdit.h"

#include "widgets/controls/FieldLink.h"
#include "widgets/data/ErrorBox.h"

#include <QFocusEvent>

using qly::controls::FieldLink;

DBRichEdit::DBRichEdit(QWidget* parent)
    : RichTextEdit(parent), m_link(std::make_unique<FieldLink>()) {
    m_link->show = [this] { showField(); };
    m_link->handOver = [this] { updateRecord(); };
    setTabChangesFocus(true);  // Tab moves on to the next control, as in every box of the form
    connect(this, &RichTextEdit::modified, this, &DBRichEdit::changedByUser);
}

DBRichEdit::~DBRichEdit() {
    m_link->show = nullptr;
    m_link->handOver = nullptr;
    m_link->setDataSource(nullptr);
}

void DBRichEdit::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
    showField();
}

TDataSource* DBRichEdit::dataSource() const {
    return m_link->dataSource();
}

void DBRichEdit::setDataField(const QString& field) {
    m_link->fieldName = field;
    showField();
}

QString DBRichEdit::dataField() const {
    return m_link->fieldName;
}

TField* DBRichEdit::field() const {
    return m_link->field();
}

void DBRichEdit::showField() {
    TField* f = field();
    QByteArray memo;
    if (f && m_link->hasRecord() && !f->isNull())
        memo = f->asBytes();
    setRtf(memo);
    m_pending = false;
}

void DBRichEdit::changedByUser() {
    if (m_pending)
        return;
    TDbTable* table = m_link->dataSet();
    if (!table || !table->active() || !field())
        return;
    m_link->quiet = true;
    try {
        m_link->edit();
    } catch (const std::exception& error) {
        m_link->quiet = false;
        m_reporting = true;
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
        m_reporting = false;
        showField();
        return;
    }
    m_link->quiet = false;
    m_pending = true;
}

void DBRichEdit::updateRecord() {
    if (!m_pending)
        return;
    TField* f = field();
    if (!f) {
        m_pending = false;
        return;
    }
    m_link->quiet = true;
    try {
        if (!m_link->editing())
            m_link->edit();
        f->setAsString(QString::fromLatin1(rtf()));
    } catch (...) {
        m_link->quiet = false;
        throw;
    }
    m_link->quiet = false;
    m_pending = false;
}

void DBRichEdit::focusOutEvent(QFocusEvent* event) {
    RichTextEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (m_reporting || !m_pending || reason == Qt::PopupFocusReason ||
        reason == Qt::ActiveWindowFocusReason)
        return;
    try {
        updateRecord();
    } catch (const std::exception& error) {
        m_reporting = true;
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
        m_reporting = false;
    }
}
