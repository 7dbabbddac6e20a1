// GridModel: rows of a table read on demand, following filters, the
// current record in both directions, in-place editing and insertion.
#include "data/DataModule2.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/GridModel.h"
#include "data/XBase.h"
#include "data/XBaseEnv.h"
#include "engine/xbase.h"
#include "support/FixtureFolder.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestGridModel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsAndColumnsOfTheItemsTable();
    void theLastRowIsReachedWithoutReadingEveryRow();
    void followsTheFilter();
    void currentRowAndCurrentRecordFollowEachOther();
    void editingACellPostsOnLeavingTheRow();
    void aRefusedValueIsReportedAndTheRowStaysInEdit();
    void insertShowsANewRowUntilPostOrCancel();
    void aClosedOrEmptyTableHasNoRows();
    void aLargeTableScrollsToItsEnd();
    void followsTheIndexOrderAndTheScope();

private:
    QList<GridColumn> listColumns() const {
        return {{QStringLiteral("NAME"), QStringLiteral("Name"), 20},
                {QStringLiteral("CATAGORY"), QStringLiteral("Catagory"), 20},
                {QStringLiteral("MANUFACT"), QStringLiteral("Manufacturer"), 20},
                {QStringLiteral("LOCATION"), QStringLiteral("Location"), 20},
                {QStringLiteral("QUANTITY"), QStringLiteral("Quantity"), 10}};
    }
    void copyFixtures(const char* set) {
        QCOMPARE(
            QString::fromStdString(qly::test::copyFixtureSet(set, m_dir->path().toStdString())),
            QString());
    }
    void openMain() {
        m_table = std::make_unique<TDbTable>();
        m_table->setDatabaseName(m_dir->path() + QLatin1Char('/'));
        m_table->setTableName(QStringLiteral("MAIN.DBF"));
        m_table->setFieldDefs(mainFieldDefs());
        m_source = std::make_unique<TDataSource>();
        m_source->setDataSet(m_table.get());
        m_xbase = std::make_unique<TXBase>();
        m_xbase->setDataSource(m_source.get());
        m_table->open();
        m_model = std::make_unique<GridModel>(m_source.get());
        m_model->setColumns(listColumns());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    QString cell(int row, int column) const {
        return m_model->index(row, column).data().toString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TXBaseEnv> m_env;
    std::unique_ptr<TDbTable> m_table;
    std::unique_ptr<TDataSource> m_source;
    std::unique_ptr<TXBase> m_xbase;
    std::unique_ptr<GridModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestGridModel::init() {
    xb_CloseAll();
    m_dir = std::make_unique<QTemporaryDir>();
    copyFixtures("sample");
    m_env = std::make_unique<TXBaseEnv>();
    m_env->setDeleted(true);
}

void TestGridModel::cleanup() {
    m_tester.reset();
    m_model.reset();
    m_xbase.reset();
    m_source.reset();
    m_table.reset();
    xb_CloseAll();
    m_env.reset();
    m_dir.reset();
}

void TestGridModel::rowsAndColumnsOfTheItemsTable() {
    openMain();
    QCOMPARE(m_model->rowCount(), 36);
    QCOMPARE(m_model->columnCount(), 5);
    QCOMPARE(m_model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Manufacturer"));
    QCOMPARE(m_model->headerData(4, Qt::Horizontal, GridModel::WidthCharsRole).toInt(), 10);
    QCOMPARE(cell(0, 0), QStringLiteral("Laser printer #1"));
    QCOMPARE(cell(0, 4), QStringLiteral("-1"));
    QCOMPARE(m_model->recordOfRow(5), 6L);
    QCOMPARE(m_model->recordOfRow(6), 8L);  // record 7 is deleted
    QCOMPARE(cell(6, 0), QStringLiteral("Fax unit #8"));
    QCOMPARE(m_model->index(0, 4).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
             int(Qt::AlignRight));

    // without a column list: the fields grids show by default
    GridModel all(m_source.get());
    QCOMPARE(all.columnCount(), 5);
    QCOMPARE(all.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Catagory"));
    QVERIFY(all.flags(all.index(0, 0)) & Qt::ItemIsEditable);
}

void TestGridModel::theLastRowIsReachedWithoutReadingEveryRow() {
    openMain();
    QCOMPARE(cell(35, 0), m_model->index(35, 0).data().toString());
    QCOMPARE(m_model->recordOfRow(35), 40L);
    QCOMPARE(m_model->recordOfRow(34), 39L);
    QVERIFY(m_model->recordsRead() <= 2);
    QCOMPARE(m_model->rowOfRecord(40), 35);
    QCOMPARE(m_model->rowOfRecord(7), -1);  // deleted: not a row
    QCOMPARE(m_model->rowOfRecord(20), 17);
}

void TestGridModel::followsTheFilter() {
    openMain();
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    m_xbase->setFilter(QStringLiteral("CATAGORY=\"Desk\""));
    QVERIFY(reset.count() >= 1);
    QCOMPARE(m_model->rowCount(), 6);
    for (int row = 0; row < 6; ++row)
        QVERIFY(cell(row, 1).startsWith(QStringLiteral("Desk")));
    m_xbase->setFilter(QStringLiteral("NAME=\"\""));
    QCOMPARE(m_model->rowCount(), 36);
}

void TestGridModel::currentRowAndCurrentRecordFollowEachOther() {
    openMain();
    QSignalSpy current(m_model.get(), &GridModel::currentRowChanged);
    QCOMPARE(m_model->currentRow(), 0);
    m_model->setCurrentRow(10);
    QCOMPARE(m_table->recNo(), m_model->recordOfRow(10));
    QCOMPARE(m_model->currentRow(), 10);
    QVERIFY(!current.isEmpty());
    QCOMPARE(current.last().at(0).toInt(), 10);

    m_table->last();
    QCOMPARE(current.last().at(0).toInt(), 35);
    m_table->moveBy(-3);
    QCOMPARE(m_model->currentRow(), 32);
    QCOMPARE(current.last().at(0).toInt(), 32);
}

void TestGridModel::editingACellPostsOnLeavingTheRow() {
    openMain();
    m_model->setCurrentRow(2);
    QVERIFY(m_model->setData(m_model->index(2, 0), QStringLiteral("Edited lamp")));
    QCOMPARE(m_table->state(), TDataSetState::dsEdit);
    QCOMPARE(cell(2, 0), QStringLiteral("Edited lamp"));
    QVERIFY(m_model->setData(m_model->index(2, 4), QStringLiteral("77")));
    m_model->setCurrentRow(3);
    QCOMPARE(m_table->state(), TDataSetState::dsBrowse);
    QCOMPARE(cell(2, 0), QStringLiteral("Edited lamp"));
    QCOMPARE(cell(2, 4), QStringLiteral("77"));
    m_table->close();
    m_table->open();
    QCOMPARE(cell(2, 0), QStringLiteral("Edited lamp"));

    // editing a cell of another row moves there first
    QVERIFY(m_model->setData(m_model->index(5, 1), QStringLiteral("Chair")));
    QCOMPARE(m_model->currentRow(), 5);
    QCOMPARE(m_table->fieldByName("CATAGORY")->asString(), QStringLiteral("Chair"));
}

void TestGridModel::aRefusedValueIsReportedAndTheRowStaysInEdit() {
    openMain();
    QSignalSpy errors(m_model.get(), &GridModel::editError);
    QVERIFY(!m_model->setData(m_model->index(0, 4), QStringLiteral("many")));
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.first().at(0).toString().contains(QStringLiteral("QUANTITY")));
    QVERIFY(m_model->setData(m_model->index(0, 0), QString(45, QLatin1Char('x'))));
    bool refused = false;
    try {
        m_model->setCurrentRow(1);
    } catch (const std::exception&) {
        refused = true;
    }
    QVERIFY(refused);
    QCOMPARE(m_table->state(), TDataSetState::dsEdit);
    QCOMPARE(m_table->recNo(), 1L);
    m_table->cancel();
}

void TestGridModel::insertShowsANewRowUntilPostOrCancel() {
    openMain();
    m_model->setCurrentRow(4);
    m_table->insert();
    QCOMPARE(m_model->rowCount(), 37);
    QCOMPARE(m_model->currentRow(), 4);
    QCOMPARE(cell(4, 0), QString());
    QCOMPARE(cell(5, 0), QStringLiteral("Copier XL #5"));
    m_table->cancel();
    QCOMPARE(m_model->rowCount(), 36);
    QCOMPARE(m_model->currentRow(), 4);

    m_table->insert();
    QVERIFY(m_model->setData(m_model->index(4, 0), QStringLiteral("Brand new")));
    m_table->post();
    QCOMPARE(m_model->rowCount(), 37);
    QCOMPARE(cell(36, 0), QStringLiteral("Brand new"));  // it takes its place in record order
    QCOMPARE(m_model->currentRow(), 36);
}

void TestGridModel::aClosedOrEmptyTableHasNoRows() {
    openMain();
    m_table->close();
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->currentRow(), -1);
    copyFixtures("empty");
    m_table->open();
    QCOMPARE(m_model->rowCount(), 0);
    m_table->append();
    QCOMPARE(m_model->rowCount(), 1);
    QVERIFY(m_model->setData(m_model->index(0, 0), QStringLiteral("Only")));
    m_table->post();
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(cell(0, 0), QStringLiteral("Only"));
}

void TestGridModel::aLargeTableScrollsToItsEnd() {
    // 20,000 records, every tenth deleted
    const QString file = m_dir->filePath(QStringLiteral("BIG.DBF"));
    QVERIFY(xb_Create(file.toStdString(), {{"NAME", 'C', 20, 0}, {"QUANTITY", 'N', 4, 0}}) != 0);
    QVERIFY(xb_Use(file.toStdString(), "", 2, 2) != 0);
    for (int i = 1; i <= 20000; ++i) {
        QCOMPARE(xb_AppendEx(), 0);
        xb_Replace("NAME", 1024, "Item " + std::to_string(i));
        if (i % 10 == 0)
            xb_Delete();
    }
    xb_Commit();
    xb_Close();

    m_table = std::make_unique<TDbTable>();
    m_table->setDatabaseName(m_dir->path());
    m_table->setTableName(QStringLiteral("BIG.DBF"));
    m_source = std::make_unique<TDataSource>();
    m_source->setDataSet(m_table.get());
    m_table->open();
    m_model = std::make_unique<GridModel>();
    m_model->setExactCountLimit(1000);
    m_model->setDataSource(m_source.get());
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    // the first rows show before the table is counted
    QVERIFY(!m_model->countExact());
    QCOMPARE(m_model->rowCount(), 20000);
    QCOMPARE(cell(0, 0), QStringLiteral("Item 1"));
    QCOMPARE(cell(9, 0), QStringLiteral("Item 11"));
    QCOMPARE(m_model->currentRow(), 0);
    QTRY_VERIFY(m_model->countExact());
    QCOMPARE(m_model->rowCount(), 18000);
    QCOMPARE(cell(9, 0), QStringLiteral("Item 11"));
    QCOMPARE(cell(17999, 0), QStringLiteral("Item 19999"));
    QCOMPARE(cell(17990, 0), QStringLiteral("Item 19989"));
    QVERIFY(m_model->recordsRead() < 20);
    m_table->last();
    QCOMPARE(m_model->currentRow(), 17999);
    QCOMPARE(cell(9000, 0), QStringLiteral("Item 10001"));
}

void TestGridModel::followsTheIndexOrderAndTheScope() {
    m_table = std::make_unique<TDbTable>();
    m_table->setDatabaseName(m_dir->path() + QLatin1Char('/'));
    m_table->setTableName(QStringLiteral("MANUFACT.DBF"));
    m_table->setIndexName(QStringLiteral("COMPANY"));
    m_table->setFieldDefs(manufFieldDefs());
    m_source = std::make_unique<TDataSource>();
    m_source->setDataSet(m_table.get());
    m_xbase = std::make_unique<TXBase>();
    m_xbase->setDataSource(m_source.get());
    m_table->open();
    m_model = std::make_unique<GridModel>(m_source.get());
    m_model->setColumns({{QStringLiteral("COMPANY"), QString(), 10},
                         {QStringLiteral("CITY"), QString(), 10},
                         {QStringLiteral("CONTACT"), QString(), 10}});
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m_model->rowCount(), 10);
    QCOMPARE(m_model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("COMPANY"));
    QStringList companies;
    for (int row = 0; row < m_model->rowCount(); ++row)
        companies << cell(row, 0);
    QStringList sorted = companies;
    sorted.sort();
    QCOMPARE(companies, sorted);

    QVERIFY(m_xbase->setScope(QStringLiteral("Hooli"), QStringLiteral("Hooli")));
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(cell(0, 0), QStringLiteral("Hooli"));
    QCOMPARE(m_model->currentRow(), 0);
    m_xbase->setScope(QString(), QString());
    QCOMPARE(m_model->rowCount(), 10);
    QCOMPARE(m_model->currentRow(), 0);
    QCOMPARE(cell(0, 0), QStringLiteral("Acme"));

    // a record edited into another place of the order moves with it
    m_model->setCurrentRow(0);
    QVERIFY(m_model->setData(m_model->index(0, 0), QStringLiteral("Zeta")));
    m_table->post();
    QCOMPARE(cell(9, 0), QStringLiteral("Zeta"));
    QCOMPARE(m_model->currentRow(), 9);
}

QTEST_GUILESS_MAIN(TestGridModel)
#include "data_gridmodel_test.moc"
