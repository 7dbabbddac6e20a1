#pragma once

#include <QByteArray>
#include <QDialog>

class QAction;
class QComboBox;
class QFontComboBox;
class QTextCharFormat;
class RichTextEdit;

// The full-size rich-text editor, captioned "Edit Rich Text": a text edit
// under a small formatting tool bar (font, size, bold, italic, underline,
// colour, alignment, bullets) with OK and Cancel.
class RichTextDialog : public QDialog {
    Q_OBJECT

public:
    explicit RichTextDialog(QWidget* parent = nullptr);
    ~RichTextDialog() override;

    void setRtf(const QByteArray& rtf);
    QByteArray rtf() const;
    // Whether the text was changed since setRtf.
    bool isModified() const;

    void setLinkRecognition(bool on);
    void setReadOnly(bool on);

    RichTextEdit* editor() const { return m_editor; }

private:
    void buildToolBar(class QToolBar* bar);
    void mergeFormat(const QTextCharFormat& format);
    void chooseColor();
    void setAlignment(Qt::Alignment alignment);
    void setBullets(bool on);
    void showState();

    RichTextEdit* m_editor = nullptr;
    QFontComboBox* m_font = nullptr;
    QComboBox* m_size = nullptr;
    QAction* m_bold = nullptr;
    QAction* m_italic = nullptr;
    QAction* m_underline = nullptr;
    QAction* m_color = nullptr;
    QAction* m_left = nullptr;
    QAction* m_center = nullptr;
    QAction* m_right = nullptr;
    QAction* m_justify = nullptr;
    QAction* m_bullets = nullptr;
};
