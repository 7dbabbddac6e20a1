#pragma once

// A data module on a copy of the sample tables, opened the way the program
// opens them, and helpers that answer message boxes as a user would.

#include "data/DataModule2.h"
#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "data/XBase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace qly::test {

class PagesHarness {
public:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<TDataModule2> dm;
    // The manufacturers and locations are in their index order (COMPANY,
    // NAME_ID); false when the engine could not give them that order.
    bool indexed = false;

    // Copies the fixture tables and opens MainT, ManufT and LocationT.
    bool open(const QString& fixture = QStringLiteral("sample")) {
        qly::dates::setShortDateFormat(QStringLiteral("dd/mm/yyyy"));
        qly::dates::setDateSeparator(QLatin1Char('/'));
        dm.reset();
        folder = std::make_unique<QTemporaryDir>();
        if (!folder->isValid())
            return false;
        const QDir source(QStringLiteral(QLY_FIXTURES_DIR "/foxpro/") + fixture);
        for (const QString& name : source.entryList(QDir::Files)) {
            if (!QFile::copy(source.filePath(name), folder->filePath(name)))
                return false;
        }
        dm = std::make_unique<TDataModule2>();
        dm->DataPath = folder->path() + QLatin1Char('/');
        indexed = true;
        for (TDbTable* t : {dm->MainT, dm->ManufT, dm->LocationT}) {
            t->setDatabaseName(dm->DataPath);
            try {
                t->open();
            } catch (const std::exception&) {
                // an engine without compound indexes: read in record order
                if (t->indexName().isEmpty())
                    return false;
                indexed = false;
                t->setIndexName(QString());
                t->open();
            }
        }
        return true;
    }

    // The value of a field of the current record, as text without trailing blanks.
    static QString text(TDbTable* table, const char* field) {
        QString s = table->fieldByName(QString::fromLatin1(field))->asString();
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }

    // Record numbers of the visible records in the table's order.
    static QList<long> records(TDbTable* table) {
        QList<long> list;
        const long top = table->engineTop();
        if (top > 0) {
            list.append(top);
            for (long r : table->engineWalk(top, 1, 100000))
                list.append(r);
        }
        table->selectArea(true);
        return list;
    }
};

// Answers the message boxes that open while it lives with a button, and
// keeps their texts.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer) : m_answer(answer) {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QStringList texts;
    QStringList names;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_last)
            return;
        m_last = box;
        texts.append(box->text());
        names.append(box->objectName());
        QAbstractButton* button = box->button(m_answer);
        if (!button)
            button = box->buttons().value(0);
        if (button)
            button->click();
    }

    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

}  // namespace qly::test
