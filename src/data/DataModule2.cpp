#include "data/DataModule2.h"

#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/InventoryTables.h"
#include "data/Messages.h"
#include "data/XBase.h"
#include "data/XBaseEnv.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"

#include <memory>

namespace {

TDataModule2* g_module = nullptr;

const char* const kPhoneMask = "!\\00009 0000099;1;_";
const char* const kPostCodeMask = ">AAAa aaaa;1;_";

TFieldDef text(const char* name, int size, const char* label = "", int displayWidth = 0,
               bool visible = true, const char* mask = "") {
    TFieldDef d;
    d.name = QString::fromLatin1(name);
    d.type = TFieldType::ftString;
    d.size = size;
    d.displayLabel = QString::fromLatin1(label);
    d.displayWidth = displayWidth > 0 ? displayWidth : size;
    d.visible = visible;
    d.editMask = QString::fromLatin1(mask);
    return d;
}

TFieldDef typed(const char* name, TFieldType type, int displayWidth, bool visible = true,
                const char* label = "") {
    TFieldDef d;
    d.name = QString::fromLatin1(name);
    d.type = type;
    d.displayLabel = QString::fromLatin1(label);
    d.displayWidth = displayWidth;
    d.visible = visible;
    return d;
}

}  // namespace

QList<TFieldDef> mainFieldDefs() {
    using T = TFieldType;
    TFieldDef price = typed("PURCHPRICE", T::ftFloat, 10, false);
    price.currency = true;
    return {
        text("NAME", 40, "Name", 20),
        text("CATAGORY", 40, "Catagory", 20),
        text("MANUFACT", 40, "Manufacturer", 20),
        text("LOCATION", 40, "Location", 20),
        typed("QUANTITY", T::ftSmallint, 10, true, "Quantity"),
        text("SERIALNUM", 50, "", 50, false),
        text("PARTNUM", 50, "", 50, false),
        text("MODELNUM", 40, "", 40, false),
        text("SERVCONTR", 40, "", 40, false),
        text("SERVCONTAC", 50, "", 50, false),
        text("SERVPNUM", 20, "", 20, false),
        text("SERVCOMPAN", 40, "", 40, false),
        price,
        typed("PURCHDATE", T::ftDate, 10, false),
        text("PURCHPLACE", 50, "", 50, false),
        typed("DISPOSED", T::ftBoolean, 5, false),
        typed("DISPDATE", T::ftDate, 10, false),
        text("DISPMETHOD", 50, "", 50, false),
        text("UNIT_ID", 20, "", 20, false),
        typed("DESCRIPT", T::ftMemo, 10, false),
    };
}

QList<TFieldDef> manufFieldDefs() {
    using T = TFieldType;
    return {
        text("COMPANY", 50),
        typed("ADDRESS", T::ftMemo, 10),
        text("CITY", 50),
        text("STATEPROV", 50),
        text("PHONE", 20, "", 0, true, kPhoneMask),
        text("FAX", 20, "", 0, true, kPhoneMask),
        text("CONTACT", 50),
        text("EMAIL", 60),
        text("WEBSITE", 60),
        text("USER1", 50),
        text("USER2", 50, "", 0, true, kPostCodeMask),
        text("USER3", 50),
        text("USER4", 50),
        typed("DATE1", T::ftDate, 10),
        typed("DATE2", T::ftDate, 10),
    };
}

QList<TFieldDef> locationFieldDefs() {
    using T = TFieldType;
    return {
        text("NAME_ID", 50),
        typed("ADDRESS", T::ftMemo, 10),
        text("DIVISION", 50),
        text("COST_CENTR", 50),
        typed("WSNUM", T::ftSmallint, 4),
        typed("EMPLNUM", T::ftSmallint, 4),
        text("MANAGERNAM", 50),
        text("PHONE", 20, "", 0, true, kPhoneMask),
        text("FAX", 20, "", 0, true, kPhoneMask),
        text("DEPARTMENT", 40),
        text("EMAIL", 60),
        text("WEBSITE", 60),
        text("USER1", 50),
        text("USER2", 50),
        text("USER3", 50),
        text("USER4", 50),
    };
}

TDataModule2::TDataModule2(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule2"));

    XBaseEnv1 = new TXBaseEnv(this);
    XBaseEnv1->setCentury(true);
    XBaseEnv1->setSoftSeek(true);
    XBaseEnv1->setDeleted(true);

    auto makeTable = [this](const char* name, const char* file, const char* tag,
                            QList<TFieldDef> defs) {
        auto* t = new TDbTable(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setDatabaseName(QStringLiteral("Path"));
        t->setTableName(QString::fromLatin1(file));
        t->setIndexName(QString::fromLatin1(tag));
        t->setFieldDefs(defs);
        return t;
    };
    auto makeSource = [this](const char* name) {
        auto* s = new TDataSource(this);
        s->setObjectName(QString::fromLatin1(name));
        return s;
    };

    DSMain = makeSource("DSMain");
    MainT = makeTable("MainT", "MAIN.DBF", "", mainFieldDefs());
    DSMain->setDataSet(MainT);
    MainT->addAfterPost([this](TDbTable&) { MainTAfterPost(); });
    DSManuf = makeSource("DSManuf");
    ManufT = makeTable("ManufT", "MANUFACT.DBF", "COMPANY", manufFieldDefs());
    DSManuf->setDataSet(ManufT);
    DSLocation = makeSource("DSLocation");
    LocationT = makeTable("LocationT", "Location.dbf", "NAME_ID", locationFieldDefs());
    DSLocation->setDataSet(LocationT);

    auto makeXBase = [this](const char* name, TDataSource* source) {
        auto* x = new TXBase(this);
        x->setObjectName(QString::fromLatin1(name));
        x->setDataSource(source);
        return x;
    };
    XBase1 = makeXBase("XBase1", DSMain);
    XBase2 = makeXBase("XBase2", DSManuf);
    XBase3 = makeXBase("XBase3", DSLocation);

    if (!g_module)
        g_module = this;
}

TDataModule2::~TDataModule2() {
    if (g_module == this)
        g_module = nullptr;
    delete XBase3;
    delete XBase2;
    delete XBase1;
    for (TDbTable* t : {LocationT, ManufT, MainT}) {
        t->blockSignals(true);
        t->close();
    }
    DataPath.clear();
}

TDataModule2* TDataModule2::instance() {
    return g_module;
}

QString TDataModule2::programFolderPath() const {
    if (!programFolder.isEmpty())
        return QString::fromStdString(qly::appendPathSeparator(programFolder.toStdString()));
    return QString::fromStdString(qly::programFolder());
}

void TDataModule2::report(const QString& message) {
    if (errorReporter)
        errorReporter(message);
}

void TDataModule2::CheckPath() {
    if (!DataPath.endsWith(u'/'))
        DataPath += u'/';
}

void TDataModule2::ReadReg() {
    auto store = settingsFile.empty() ? std::make_unique<qly::SettingsStore>()
                                      : std::make_unique<qly::SettingsStore>(settingsFile);
    if (!store->open())
        return;
    struct Closer {
        qly::SettingsStore& s;
        ~Closer() { s.close(); }
    } closer{*store};

    std::string path;
    qly::SettingsStatus status = store->readString(qly::kValuePath, &path);
    if (!status.ok())
        throw QlyError(status.message());
    DataPath = QString::fromStdString(path);

    std::int32_t dateFormat = 0;
    status = store->readInteger(qly::kValueDateFormat, &dateFormat);
    if (!status.ok())
        throw QlyError(status.message());

    std::int32_t century = 0;
    status = store->readInteger(qly::kValueCentury, &century);
    if (!status.ok())
        throw QlyError(status.message());
    XBaseEnv1->setCentury(century != 0);

    store->close();
    if (DataPath.isEmpty())
        DataPath = programFolderPath();
    CheckPath();
    if (dateFormat >= dfAmerican && dateFormat <= dfSpanish)
        XBaseEnv1->setDateFormat(static_cast<TXBaseDateFrmt>(dateFormat));
}

void TDataModule2::DataModule2Create() {
    try {
        ReadReg();
    } catch (const QlyError& e) {
        // the data path stays as read and the tables stay closed
        report(QString::fromStdString(e.what()));
        return;
    }
    if (DataPath.isEmpty())
        DataPath = programFolderPath();
    // an index that lost its tags is rebuilt with them when its table opens
    qly::inventory::registerInventoryTags();
    for (TDbTable* t : {MainT, ManufT, LocationT})
        t->setDatabaseName(DataPath);
    for (TDbTable* t : {MainT, ManufT, LocationT}) {
        try {
            t->open();
        } catch (const QlyError& e) {
            report(QString::fromStdString(e.what()));
            return;
        }
    }
}

void TDataModule2::MainTAfterPost() {
    if (!countPaneWriter || !MainT->active())
        return;
    countPaneWriter(QString::fromLatin1(qly::msg::kTotalRecords) +
                    QString::number(MainT->recordCount()));
}
