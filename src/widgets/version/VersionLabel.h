#pragma once

#include <QLabel>
#include <QString>

// A read-only text that shows one entry of an executable file's version
// record, by default the program's own: a string entry of one language
// block (CompanyName, ProductVersion ...) or the fixed part's flags, with a
// prefix before it. Every change of what it shows reads the file again; a
// file without a record, or a damaged one, shows an angle-bracket text
// ("< No Data Available >") in the entry's place.
class TVersionLabel : public QLabel {
    Q_OBJECT

public:
    enum TVersionResources {
        vrCompanyName,
        vrFileDescription,
        vrFileVersion,
        vrInternalName,
        vrLegalCopyright,
        vrOriginalFilename,
        vrProductName,
        vrProductVersion,
        vrComments,
        vrFlags,
    };
    Q_ENUM(TVersionResources)

private:
    Q_PROPERTY(TVersionResources VersionResource READ versionResource WRITE setVersionResource)
    Q_PROPERTY(QString VersionResourceKey READ versionResourceKey WRITE setVersionResourceKey)
    Q_PROPERTY(QString InfoPrefix READ infoPrefix WRITE setInfoPrefix)
    Q_PROPERTY(bool ShowInfoPrefix READ showInfoPrefix WRITE setShowInfoPrefix)
    Q_PROPERTY(QString LangCharset READ langCharset WRITE setLangCharset)
    Q_PROPERTY(bool AutoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(QString InfoString READ infoString)
    Q_PROPERTY(QString Filename READ filename WRITE setFilename)

public:
    // The key and the prefix each entry sets.
    static QString keyOf(TVersionResources resource);
    static QString prefixOf(TVersionResources resource);

    explicit TVersionLabel(QWidget* parent = nullptr);
    ~TVersionLabel() override;

    TVersionResources versionResource() const { return m_resource; }
    // Also sets VersionResourceKey and InfoPrefix to the entry's.
    void setVersionResource(TVersionResources resource);
    QString versionResourceKey() const { return m_key; }
    // A new key becomes the prefix too; it shows at the next refresh.
    void setVersionResourceKey(const QString& key);
    QString infoPrefix() const { return m_prefix; }
    void setInfoPrefix(const QString& prefix);
    bool showInfoPrefix() const { return m_showPrefix; }
    void setShowInfoPrefix(bool on);
    // Eight hex digits naming the language block, or "-1" for the first
    // one the file declares (replaced by it at the next refresh).
    QString langCharset() const { return m_langCharset; }
    void setLangCharset(const QString& langCharset);
    // On: the label fits its text whenever the text or the font changes
    // (keeping its width when it wraps words).
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    // The text last shown.
    QString infoString() const { return m_infoString; }
    // Empty: the program's own executable file. Setting it always refreshes.
    QString filename() const { return m_filename; }
    void setFilename(const QString& filename);

    // Reads the file and shows the entry.
    void refresh();

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitToText();

    TVersionResources m_resource = vrCompanyName;
    QString m_key;
    QString m_prefix;
    bool m_showPrefix = false;
    QString m_langCharset;
    bool m_autoSize = false;
    QString m_infoString;
    QString m_filename;
};
