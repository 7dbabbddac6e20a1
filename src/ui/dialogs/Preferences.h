#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QButtonGroup;
class TFormScaler;

namespace Ui {
class TPreferences;
}

// The preferences dialog: the data path on the tab "DB Location", the date
// format, four-digit years and tool-tip hints on the tab "Date Formats". It
// is the only writer of the settings store; what it saves takes effect at the
// next start. Several may be open at once; none is modal.
//
// A write that fails throws QlyError ("Failed to set data for '%s'") out of
// Button2Click/Button3Click for the application's error box.
class TPreferences : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMsgCouldNotOpenRegistry = "Could not open Registry!";
    static constexpr const char* kMsgPathSaved =
        "Changes will take effect the next time you start QLY32.";
    static constexpr const char* kMsgDatesSaved =
        "Changes will take effect the next time you start QLY32!";
    static constexpr int kHelpContextLocation = 4005;
    static constexpr int kHelpContextDateFormats = 4006;

    explicit TPreferences(QWidget* parent = nullptr);
    ~TPreferences() override;

    // Held once for all preferences dialogs; the dialog created last wrote
    // them. The data path as read at creation (the picker starts there) and
    // the date-format index (the stored DATEFORMAT, then each radio click).
    static QString dataPath();
    static int dateFormatIndex();

public slots:
    void FormCreate();
    void ReadReg();
    void CheckPath();
    void SetDateFormat();
    void SpeedButton1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button5Click();
    void Button6Click();
    void RadioGroup1Click();
    // F1: the topic of the tab in front.
    void showContextHelp();

private:
    std::unique_ptr<Ui::TPreferences> ui;
    TFormScaler* m_formScaler = nullptr;  // FormScaler1
    QButtonGroup* m_dateFormats = nullptr;

    static QString s_dataPath;
    static int s_dateFormatIndex;
};
