// The version label: its properties and defaults, the setters' refresh
// rule and the texts it shows, on the program's own record (this test links
// it as the program does) and on files the test writes.

#include "version/Images.h"
#include "version/VersionText.h"
#include "widgets/version/VersionLabel.h"

#include <QFile>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using qly::version::VersionRecord;
using qlytest::Bytes;

const QString kCopyright = QStringLiteral("© 2026 Kaverin. All rights reserved.");

}  // namespace

class TestVersionLabel : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString& name, const Bytes& bytes) {
        const QString path = m_dir.filePath(name);
        if (!qlytest::writeFile(QFile::encodeName(path).toStdString(), bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString writeRecord(const QString& name, const VersionRecord& record) {
        return write(name, qlytest::elfWithRecord(qlytest::recordBytes(record)));
    }

private slots:
    void defaultsOnTheProgramsOwnRecord() {
        TVersionLabel label;
        QCOMPARE(label.versionResource(), TVersionLabel::vrFileVersion);
        QCOMPARE(label.versionResourceKey(), QStringLiteral("FileVersion"));
        QCOMPARE(label.infoPrefix(), QStringLiteral("File Version:"));
        QVERIFY(label.showInfoPrefix());
        QVERIFY(label.autoSize());
        QVERIFY(!label.wordWrap());
        QCOMPARE(label.filename(), QString());
        // The first refresh resolved "-1" to the record's one block.
        QCOMPARE(label.langCharset(), QStringLiteral("080904E4"));
        QCOMPARE(label.text(), QStringLiteral("File Version: 1.2.1.1"));
        QCOMPARE(label.infoString(), label.text());
        // Found by name, as the form scaler and the form files find them.
        QStringList names;
        const QMetaObject* meta = label.metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
            names << QString::fromLatin1(meta->property(i).name());
        QCOMPARE(names, QStringList({"VersionResource", "VersionResourceKey", "InfoPrefix",
                                     "ShowInfoPrefix", "LangCharset", "AutoSize", "InfoString",
                                     "Filename"}));
        QVERIFY(!meta->property(meta->indexOfProperty("InfoString")).isWritable());
    }

    void everyEntry_data() {
        QTest::addColumn<int>("resource");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("value");
        const QString none = QString::fromLatin1(qly::version::kNoVersionInfo);
        QTest::newRow("company") << 0 << "CompanyName"
                                 << "Company Name:"
                                 << "Kaverin";
        QTest::newRow("description") << 1 << "FileDescription"
                                     << "File Description:"
                                     << "Quillory";
        QTest::newRow("file version") << 2 << "FileVersion"
                                      << "File Version:"
                                      << "1.2.1.1";
        QTest::newRow("internal") << 3 << "InternalName"
                                  << "Internal Name:"
                                  << "QLY32";
        QTest::newRow("copyright") << 4 << "LegalCopyright"
                                   << "Legal Copyright:" << kCopyright;
        QTest::newRow("original file") << 5 << "OriginalFilename"
                                       << "Original Filename:" << none;
        QTest::newRow("product") << 6 << "ProductName"
                                 << "Product Name:"
                                 << "Quillory";
        QTest::newRow("product version") << 7 << "ProductVersion"
                                         << "Product Version:"
                                         << "1.2.1.1";
        QTest::newRow("comments, present but empty") << 8 << "Comments"
                                                     << "Comments:" << none;
        QTest::newRow("flags, none set") << 9 << "Flags"
                                         << "Flags:"
                                         << "";
    }

    void everyEntry() {
        QFETCH(int, resource);
        QFETCH(QString, key);
        QFETCH(QString, prefix);
        QFETCH(QString, value);
        TVersionLabel label;
        // As a form file sets it.
        QVERIFY(label.setProperty("VersionResource", resource));
        QCOMPARE(int(label.versionResource()), resource);
        QCOMPARE(label.versionResourceKey(), key);
        QCOMPARE(label.infoPrefix(), prefix);
        QCOMPARE(label.text(), prefix + QLatin1Char(' ') + value);
        label.setShowInfoPrefix(false);
        QCOMPARE(label.text(), value);
        QCOMPARE(label.infoString(), value);
    }

    void keySetByItselfBecomesThePrefix() {
        VersionRecord record = qlytest::programLikeRecord();
        record.stringTables[0].entries.push_back({"SpecialBuild", "nightly 41"});
        TVersionLabel label;
        label.setVersionResource(TVersionLabel::vrProductName);
        label.setVersionResourceKey(QStringLiteral("SpecialBuild"));
        QCOMPARE(label.versionResource(), TVersionLabel::vrProductName);
        QCOMPARE(label.infoPrefix(), QStringLiteral("SpecialBuild"));
        QCOMPARE(label.text(), QStringLiteral("SpecialBuild < Error retrieving string version "
                                              "info >"));  // the program has none
        label.setFilename(writeRecord(QStringLiteral("special.elf"), record));
        QCOMPARE(label.text(), QStringLiteral("SpecialBuild nightly 41"));
        // A prefix of its own after the key stays.
        label.setInfoPrefix(QStringLiteral("Build:"));
        QCOMPARE(label.text(), QStringLiteral("Build: nightly 41"));
        label.setVersionResourceKey(QStringLiteral("SpecialBuild"));
        QCOMPARE(label.infoPrefix(), QStringLiteral("Build:"));
    }

    void filesWithoutARecord_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        const auto bytes = [](const Bytes& b) {
            return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        };
        QTest::newRow("ELF without the section")
            << "plain.elf" << bytes(qlytest::elfImage({{".text", Bytes(8, 0x90)}}));
        QTest::newRow("PE without a version resource")
            << "icon.exe" << bytes(qlytest::peImage({{3, Bytes(32, 1)}}));
        QTest::newRow("text file") << "notes.txt" << QByteArray("inventory\n");
        QTest::newRow("no such file") << "" << QByteArray();
    }

    void filesWithoutARecord() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = name.isEmpty() ? m_dir.filePath(QStringLiteral("missing.exe"))
                                            : write(name, Bytes(bytes.begin(), bytes.end()));
        TVersionLabel label;
        label.setVersionResource(TVersionLabel::vrProductVersion);
        label.setFilename(path);
        QCOMPARE(label.text(), QStringLiteral("Product Version: < No Data Available >"));
        label.setShowInfoPrefix(false);
        QCOMPARE(label.text(), QStringLiteral("< No Data Available >"));
        label.setVersionResource(TVersionLabel::vrFlags);
        QCOMPARE(label.text(), QStringLiteral("< No Data Available >"));
    }

    void flagsOfARecordWithDebugAndPrivateBuild() {
        VersionRecord record = qlytest::programLikeRecord();
        record.fixed.flags = qly::version::kFlagDebug | qly::version::kFlagPrivateBuild;
        TVersionLabel label;
        label.setVersionResource(TVersionLabel::vrFlags);
        QCOMPARE(label.text(), QStringLiteral("Flags: "));  // the program's own: none
        label.setFilename(write(QStringLiteral("debug.exe"),
                                qlytest::peImage({{16, qlytest::recordBytes(record)}})));
        QCOMPARE(label.text(), QStringLiteral("Flags: Debug Build, Private Build"));
    }

    void languageBlock() {
        TVersionLabel label;
        label.setVersionResource(TVersionLabel::vrCompanyName);
        QCOMPARE(label.langCharset(), QStringLiteral("080904E4"));
        label.setLangCharset(QStringLiteral("040904B0"));
        QCOMPARE(label.text(), QStringLiteral("Company Name: < Error retrieving string version "
                                              "info >"));
        QCOMPARE(label.langCharset(), QStringLiteral("040904B0"));
        label.setLangCharset(QStringLiteral("-1"));
        QCOMPARE(label.langCharset(), QStringLiteral("080904E4"));
        QCOMPARE(label.text(), QStringLiteral("Company Name: Kaverin"));
        // Once resolved, the block stays for another file; a file without a
        // translation list keeps "-1".
        VersionRecord record = qlytest::programLikeRecord();
        record.translations.clear();
        label.setFilename(writeRecord(QStringLiteral("untranslated.elf"), record));
        QCOMPARE(label.text(), QStringLiteral("Company Name: Kaverin"));
        label.setLangCharset(QStringLiteral("-1"));
        QCOMPARE(label.text(),
                 QStringLiteral("Company Name: < Error retrieving translation info >"));
        QCOMPARE(label.langCharset(), QStringLiteral("-1"));
    }

    void refreshesOnlyOnAChange() {
        VersionRecord record = qlytest::programLikeRecord();
        const QString path = writeRecord(QStringLiteral("tool.elf"), record);
        TVersionLabel label;
        label.setFilename(path);
        QCOMPARE(label.text(), QStringLiteral("File Version: 1.2.1.1"));
        record.stringTables[0].entries[2].value = "2.0.0.7";
        writeRecord(QStringLiteral("tool.elf"), record);
        // The same values again read nothing.
        label.setShowInfoPrefix(true);
        label.setInfoPrefix(QStringLiteral("File Version:"));
        label.setLangCharset(QStringLiteral("080904E4"));
        label.setVersionResourceKey(QStringLiteral("FileVersion"));
        label.setVersionResource(TVersionLabel::vrFileVersion);
        QCOMPARE(label.text(), QStringLiteral("File Version: 1.2.1.1"));
        // The file name, even the same, always reads the file again.
        label.setFilename(path);
        QCOMPARE(label.text(), QStringLiteral("File Version: 2.0.0.7"));
        record.stringTables[0].entries[2].value = "3.0";
        writeRecord(QStringLiteral("tool.elf"), record);
        label.setShowInfoPrefix(false);
        QCOMPARE(label.text(), QStringLiteral("3.0"));
        // An ordinal outside the entries changes nothing.
        QVERIFY(label.setProperty("VersionResource", 12));
        QCOMPARE(label.versionResource(), TVersionLabel::vrFileVersion);
    }

    void fitsItsTextWhenAutoSized() {
        QFont font(QStringLiteral("Times New Roman"));
        font.setPixelSize(13);
        TVersionLabel label;
        label.setFont(font);
        label.setVersionResource(TVersionLabel::vrLegalCopyright);
        QCOMPARE(label.size(), label.sizeHint());
        const int narrow = label.width();
        font.setPixelSize(26);
        label.setFont(font);
        QVERIFY(label.width() > narrow * 3 / 2);  // refitted to the larger font
        label.setAutoSize(false);
        label.setGeometry(5, 6, 80, 20);
        label.setVersionResource(TVersionLabel::vrCompanyName);
        QCOMPARE(label.geometry(), QRect(5, 6, 80, 20));
        // Words wrapped: the width stays, the height follows the text.
        label.setWordWrap(true);
        label.setAutoSize(true);
        label.setVersionResource(TVersionLabel::vrLegalCopyright);
        QCOMPARE(label.width(), 80);
        QVERIFY(label.height() > 2 * QFontMetrics(font).height());
    }

    void showsAFilesTextAsItIs() {
        VersionRecord record = qlytest::programLikeRecord();
        record.stringTables[0].entries[0].value = "<b>Kaverin</b> & Co";
        TVersionLabel label;
        label.setVersionResource(TVersionLabel::vrCompanyName);
        label.setFilename(writeRecord(QStringLiteral("markup.elf"), record));
        QCOMPARE(label.text(), QStringLiteral("Company Name: <b>Kaverin</b> & Co"));
        QCOMPARE(label.textFormat(), Qt::PlainText);
    }
};

QTEST_MAIN(TestVersionLabel)
#include "widgets_versionlabel_test.moc"
