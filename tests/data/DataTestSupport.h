#pragma once

#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/XBaseEnv.h"
#include "engine/xbase.h"
#include "support/FixtureFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

// A temporary folder holding copies of one set of the FoxPro fixture tables
// ("sample" or "empty"), named the way the table layer takes them. A copy
// that fails fails the test.
class FixtureFolder {
public:
    explicit FixtureFolder(const char* set = "sample") : m_folder(set) {
        if (!m_folder.error().empty())
            ADD_FAILURE() << "cannot copy the fixture tables: " << m_folder.error();
    }
    QString path() const { return QString::fromStdString(m_folder.path().string()) + u'/'; }
    QString file(const QString& name) const { return path() + name; }
    QByteArray contents(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    qly::test::FixtureFolder m_folder;
};

// Every test starts and ends with no work area open and the engine's
// settings the data module uses (deleted records hidden, soft seek).
class DataTest : public ::testing::Test {
protected:
    void SetUp() override {
        xb_CloseAll();
        m_env = std::make_unique<TXBaseEnv>();
        m_env->setDeleted(true);
        m_env->setSoftSeek(true);
        m_env->setExact(false);
    }
    void TearDown() override {
        xb_CloseAll();
        m_env.reset();
    }

    // An items table of the fixture folder with the data module's field list.
    std::unique_ptr<TDbTable> mainTable(const FixtureFolder& folder, bool open = true) {
        auto t = std::make_unique<TDbTable>();
        t->setDatabaseName(folder.path());
        t->setTableName(QStringLiteral("MAIN.DBF"));
        t->setFieldDefs(mainFieldDefs());
        if (open)
            t->open();
        return t;
    }

    std::unique_ptr<TXBaseEnv> m_env;
};

// The message of the QlyError a statement throws ("" when none).
#define QLY_ERROR_OF(statement)       \
    [&]() -> std::string {            \
        try {                         \
            statement;                \
        } catch (const QlyError& e) { \
            return e.what();          \
        }                             \
        return std::string();         \
    }()
