#pragma once

#include "data/Field.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class TDataSource;
class TDbTable;
class TXBase;
class TXBaseEnv;

// The field lists the data module declares for the three inventory tables.
QList<TFieldDef> mainFieldDefs();
QList<TFieldDef> manufFieldDefs();
QList<TFieldDef> locationFieldDefs();

// The data module: the single owner of the three inventory tables, their
// data sources, their engine companions and the engine environment.
//
// Two steps: the constructor creates the components in their order (no
// table opens); DataModule2Create reads the start-up settings and opens the
// tables. Set the hooks in between. Errors of DataModule2Create go to
// errorReporter (the application shows them in its standard error box) and
// the creation goes on as far as it can.
class TDataModule2 : public QObject {
    Q_OBJECT

public:
    explicit TDataModule2(QObject* parent = nullptr);
    ~TDataModule2() override;  // closes the tables, clears DataPath

    // The program's one data module, or nullptr.
    static TDataModule2* instance();

    // The creation handler: ReadReg, default the data path, open MainT,
    // ManufT and LocationT in that order.
    void DataModule2Create();
    // Reads PATH, DATEFORMAT and CENTURY and applies them; throws QlyError
    // with the settings store's message when a read fails.
    void ReadReg();
    // Makes DataPath end in "/".
    void CheckPath();
    // After every post on MainT: writes " Total Records: n" to the count pane.
    void MainTAfterPost();

    // Components, in their order of creation.
    TXBaseEnv* XBaseEnv1 = nullptr;
    TDataSource* DSMain = nullptr;
    TDbTable* MainT = nullptr;
    TDataSource* DSManuf = nullptr;
    TDbTable* ManufT = nullptr;
    TDataSource* DSLocation = nullptr;
    TDbTable* LocationT = nullptr;
    TXBase* XBase1 = nullptr;
    TXBase* XBase2 = nullptr;
    TXBase* XBase3 = nullptr;

    // The folder of the tables, ending in "/" once established.
    QString DataPath;

    // ---- Hooks the application sets
    // Shows a message in the application's standard error box.
    std::function<void(const QString&)> errorReporter;
    // Sets the caption of the main window's count pane and repaints it.
    std::function<void(const QString&)> countPaneWriter;
    // The settings file ("" = the current user's store).
    std::string settingsFile;
    // The program's folder ("" = the folder of the running executable).
    QString programFolder;

private:
    QString programFolderPath() const;
    void report(const QString& message);
};
