#pragma once

// A data module on a copy of the sample tables, opened the way the program
// opens them, and helpers that answer message boxes as a user would.

#include "data/DataModule2.h"
#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "data/XBase.h"

#include "support/FixtureFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace qly::test {

class PagesHarness {
public:
    std::unique_ptr<qly::test::FixtureFolder> folder;
    std::unique_ptr<TDataModule2> dm;

    // Copies the fixture tables and opens MainT, ManufT and LocationT (the
    // manufacturers and locations in their index order, COMPANY and
    // NAME_ID). "" when all is ready, else what failed.
    QString open(const QString& fixture = QStringLiteral("sample")) {
        qly::dates::setShortDateFormat(QStringLiteral("dd/mm/yyyy"));
        qly::dates::setDateSeparator(QLatin1Char('/'));
        dm.reset();
        folder = std::make_unique<qly::test::FixtureFolder>(fixture.toStdString());
        if (!folder->error().empty())
            return QString::fromStdString(folder->error());
        dm = std::make_unique<TDataModule2>();
        dm->DataPath = QString::fromStdString(folder->path().string()) + QLatin1Char('/');
        for (TDbTable* t : {dm->MainT, dm->ManufT, dm->LocationT}) {
            t->setDatabaseName(dm->DataPath);
            try {
                t->open();
            } catch (const std::exception& error) {
                return QString::fromUtf8(error.what());
            }
        }
        return {};
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
