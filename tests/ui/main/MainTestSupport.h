#pragma once

// Shared helpers of the main window tests: a throw-away installation (data
// folder, working folder with LOOKUP.DBF, settings file) and a catcher that
// answers the modal message boxes the window shows.

#include "support/FixtureFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace qlytest {

// The window's child of that name; a missing one ends the test.
template <typename T>
T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// A fresh installation in a temporary folder:
//   <root>/config/KVR/QLY32.reg   the settings store (XDG_CONFIG_HOME)
//   <root>/data/                  the three inventory tables
//   <root>/work/LOOKUP.DBF        the working folder (made current)
class Installation {
public:
    // fixtureSet: "sample" (40 items, 12 manufacturers, 8 locations) or "empty".
    // A folder or copy that cannot be made fails the test.
    explicit Installation(const QString& fixtureSet = QStringLiteral("sample")) {
        m_previousFolder = QDir::currentPath();
        if (!m_dir.isValid()) {
            QTest::qFail("cannot make a temporary folder", __FILE__, __LINE__);
            return;
        }
        m_root = m_dir.path();
        m_data = m_root + QStringLiteral("/data/");
        m_work = m_root + QStringLiteral("/work/");
        QDir().mkpath(m_work);
        QDir().mkpath(m_root + QStringLiteral("/config/KVR"));
        const std::string copied =
            qly::test::copyFixtureSet(fixtureSet.toStdString(), m_data.toStdString());
        if (!copied.empty())
            QTest::qFail(copied.c_str(), __FILE__, __LINE__);
        // the scratch table lives in the working folder
        if (!QFile::rename(m_data + QStringLiteral("LOOKUP.DBF"),
                           m_work + QStringLiteral("LOOKUP.DBF")))
            QTest::qFail("cannot move LOOKUP.DBF into the working folder", __FILE__, __LINE__);
        QDir::setCurrent(m_work);
        qputenv("XDG_CONFIG_HOME", (m_root + QStringLiteral("/config")).toLocal8Bit());
        m_settings["PATH"] = QStringLiteral("\"") + m_data + QStringLiteral("\"");
        m_settings["DATEFORMAT"] = QStringLiteral("dword:00000000");
        m_settings["CENTURY"] = QStringLiteral("dword:00000001");
        m_settings["Hints"] = QStringLiteral("dword:00000001");
        writeSettings();
    }

    ~Installation() { QDir::setCurrent(m_previousFolder); }

    // Sets (or, with nullopt, removes) a value: text is the right-hand side
    // of the registry line ("dword:00000001", "\"text\"").
    void setSetting(const std::string& name, std::optional<QString> text) {
        if (text)
            m_settings[name] = *text;
        else
            m_settings.erase(name);
        writeSettings();
    }

    void removeDataFile(const QString& name) { QFile::remove(m_data + name); }
    void removeWorkFile(const QString& name) { QFile::remove(m_work + name); }

    QString dataFolder() const { return m_data; }
    QString workFolder() const { return m_work; }
    bool ok() const { return m_dir.isValid(); }

private:
    void writeSettings() {
        QFile file(m_root + QStringLiteral("/config/KVR/QLY32.reg"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QString text =
            QStringLiteral("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n");
        for (const auto& [name, value] : m_settings)
            text += QStringLiteral("\"%1\"=%2\r\n").arg(QString::fromStdString(name), value);
        file.write(text.toUtf8());
    }

    QTemporaryDir m_dir;
    QString m_root;
    QString m_data;
    QString m_work;
    QString m_previousFolder;
    std::map<std::string, QString> m_settings;
};

// Answers every modal message box that appears while it lives, recording
// what each box said.
class BoxCatcher : public QObject {
public:
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer) {
        connect(&m_timer, &QTimer::timeout, this, &BoxCatcher::poll);
        m_timer.start(10);
    }

    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;
    QStringList fonts;  // the family each box asked for

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        texts << box->text();
        titles << box->windowTitle();
        icons << box->icon();
        buttons << box->standardButtons();
        fonts << box->font().family();
        QAbstractButton* button = box->button(m_answer);
        if (!button)
            button = box->button(box->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok
                                                                          : QMessageBox::No);
        if (button)
            button->click();
        else
            box->reject();
    }

    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
};

}  // namespace qlytest
