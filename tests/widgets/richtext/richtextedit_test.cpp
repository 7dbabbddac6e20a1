// The rich-text editor control and its "Edit Rich Text" window, used as a
// user would: load a memo, type, click links, open the window.

#include "widgets/richtext/FptMemos.h"

#include "widgets/richtext/RichTextDialog.h"
#include "widgets/richtext/RichTextEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>
#include <QTimer>

namespace {

QByteArray itemMemo() {
    const QList<QByteArray> memos =
        fptMemos(QStringLiteral(QLY_FIXTURES_DIR "/foxpro/sample/MAIN.fpt"));
    return memos.value(0);
}

// The middle of the character at a position, in viewport coordinates.
QPoint pointAt(const RichTextEdit& edit, int position) {
    QTextCursor cursor(edit.document());
    cursor.setPosition(position);
    const QRect before = edit.cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect after = edit.cursorRect(cursor);
    return QPoint((before.x() + after.x()) / 2, before.center().y());
}

// Runs `work` on the modal dialog as soon as it shows.
void onDialog(std::function<void(RichTextDialog*)> work) {
    QTimer::singleShot(0, [work] {
        auto* dialog = qobject_cast<RichTextDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        work(dialog);
    });
}

}  // namespace

// Receives the links that the editor asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestRichTextEdit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loadsMemoWithoutSignallingAChange();
    void typingSignalsAndWritesRtf();
    void recognisesLinksOnDisplayOnly();
    void clickOnLinkOpensIt();
    void keepsHyperlinkFields();
    void editorWindowTakesChangeOnOk();
    void editorWindowCancelLeavesText();
    void contextMenuOffersEditorWindow();
    void toolBarFormatsText();

private:
    UrlCatcher m_catcher;
};

void TestRichTextEdit::init() {
    m_catcher.urls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_catcher, "open");
}

void TestRichTextEdit::cleanup() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestRichTextEdit::loadsMemoWithoutSignallingAChange() {
    RichTextEdit edit;
    edit.setLinkRecognition(true);
    QSignalSpy modified(&edit, &RichTextEdit::modified);
    const QByteArray memo = itemMemo();
    edit.setRtf(memo);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QCOMPARE(edit.toPlainText(), QStringLiteral("Item 1 see http://example.com/item/1 bold red"));
    QVERIFY(edit.readResult().complete);
    QCOMPARE(modified.count(), 0);
    // Unchanged, the memo is given back byte for byte.
    QCOMPARE(edit.rtf(), memo);

    edit.setRtf(QByteArray("just text"));
    QCOMPARE(edit.toPlainText(), QStringLiteral("just text"));
    QCOMPARE(modified.count(), 0);
}

void TestRichTextEdit::typingSignalsAndWritesRtf() {
    RichTextEdit edit;
    edit.setRtf(itemMemo());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy modified(&edit, &RichTextEdit::modified);
    edit.moveCursor(QTextCursor::Start);
    QTest::keyClicks(&edit, QStringLiteral("New "));
    QVERIFY(modified.count() >= 1);
    const QByteArray rtf = edit.rtf();
    QVERIFY(rtf != itemMemo());
    QTextDocument back;
    QVERIFY(richtext::readRtf(rtf, &back).complete);
    QCOMPARE(back.toPlainText(),
             QStringLiteral("New Item 1 see http://example.com/item/1 bold red"));
    // The typed text takes the memo's font; the red part stays red and bold.
    QTextCursor c(&back);
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    c.setPosition(static_cast<int>(back.toPlainText().indexOf(QLatin1String("red"))) + 1);
    QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::red));
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
}

void TestRichTextEdit::recognisesLinksOnDisplayOnly() {
    for (const bool on : {true, false}) {
        RichTextEdit edit;
        edit.setLinkRecognition(on);
        edit.setRtf(itemMemo());
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        const QString text = edit.toPlainText();
        const int start = static_cast<int>(text.indexOf(QLatin1String("http://")));
        const QList<QTextLayout::FormatRange> formats =
            edit.document()->begin().layout()->formats();
        const bool underlined =
            std::any_of(formats.cbegin(), formats.cend(), [&](const auto& range) {
                return range.start == start &&
                       range.length == QStringLiteral("http://example.com/item/1").size() &&
                       range.format.fontUnderline();
            });
        QCOMPARE(underlined, on);
        QCOMPARE(edit.linkAt(pointAt(edit, start + 3)),
                 on ? QUrl(QStringLiteral("http://example.com/item/1")) : QUrl());
        QCOMPARE(edit.linkAt(pointAt(edit, 2)), QUrl());
        // The document itself holds no link, so none is written.
        QVERIFY(!edit.document()->begin().begin().fragment().charFormat().isAnchor());
        edit.moveCursor(QTextCursor::End);
        QTest::keyClicks(&edit, QStringLiteral(" www.example.org"));
        QVERIFY(!edit.rtf().contains("HYPERLINK"));
        QVERIFY(edit.rtf().contains("www.example.org"));
    }
}

void TestRichTextEdit::clickOnLinkOpensIt() {
    RichTextEdit edit;
    edit.setLinkRecognition(true);
    edit.setRtf(itemMemo());
    edit.resize(400, 120);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy activated(&edit, &RichTextEdit::linkActivated);
    const int start = static_cast<int>(edit.toPlainText().indexOf(QLatin1String("http://")));
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, pointAt(edit, start + 5));
    QCOMPARE(activated.count(), 1);
    QCOMPARE(m_catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://example.com/item/1"))});
    // A click on plain text opens nothing.
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, pointAt(edit, 1));
    QCOMPARE(activated.count(), 1);
}

void TestRichTextEdit::keepsHyperlinkFields() {
    const QByteArray memo =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 See {\\field{\\*\\fldinst{HYPERLINK "
        "\"https://example.com/doc\"}}{\\fldrslt{\\ul the doc}}} now.\\par}";
    RichTextEdit edit;  // link recognition off, as on the address editors
    edit.setRtf(memo);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    const int at = static_cast<int>(edit.toPlainText().indexOf(QLatin1String("the doc")));
    QCOMPARE(edit.linkAt(pointAt(edit, at + 2)), QUrl(QStringLiteral("https://example.com/doc")));
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("!"));
    const QByteArray rtf = edit.rtf();
    QVERIFY(rtf.contains("HYPERLINK \"https://example.com/doc\""));
    QVERIFY(rtf.contains("the doc"));
}

void TestRichTextEdit::editorWindowTakesChangeOnOk() {
    RichTextEdit edit;
    edit.setLinkRecognition(true);
    edit.setRtf(itemMemo());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy modified(&edit, &RichTextEdit::modified);
    bool seen = false;
    onDialog([&seen](RichTextDialog* dialog) {
        seen = true;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Edit Rich Text"));
        QVERIFY(dialog->editor()->linkRecognition());
        QCOMPARE(dialog->editor()->toPlainText(),
                 QStringLiteral("Item 1 see http://example.com/item/1 bold red"));
        dialog->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(dialog->editor(), QStringLiteral(" and more"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttons"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, {}, pointAt(edit, 1));
    QVERIFY(seen);
    QCOMPARE(edit.toPlainText(),
             QStringLiteral("Item 1 see http://example.com/item/1 bold red and more"));
    QCOMPARE(modified.count(), 1);
    QTextDocument back;
    richtext::readRtf(edit.rtf(), &back);
    QCOMPARE(back.toPlainText(), edit.toPlainText());
}

void TestRichTextEdit::editorWindowCancelLeavesText() {
    RichTextEdit edit;
    const QByteArray memo = itemMemo();
    edit.setRtf(memo);
    QSignalSpy modified(&edit, &RichTextEdit::modified);
    onDialog([](RichTextDialog* dialog) {
        QTest::keyClicks(dialog->editor(), QStringLiteral("thrown away"));
        dialog->reject();
    });
    QVERIFY(!edit.openEditor());
    QCOMPARE(edit.rtf(), memo);
    QCOMPARE(modified.count(), 0);

    // OK without a change changes nothing either.
    onDialog([](RichTextDialog* dialog) { dialog->accept(); });
    QVERIFY(!edit.openEditor());
    QCOMPARE(edit.rtf(), memo);
    QCOMPARE(modified.count(), 0);
}

void TestRichTextEdit::contextMenuOffersEditorWindow() {
    RichTextEdit edit;
    edit.setRtf(itemMemo());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        QWidget* popup = QApplication::activePopupWidget();
        QVERIFY(popup != nullptr);
        auto* action = popup->findChild<QAction*>(QStringLiteral("editRichTextAction"));
        QVERIFY(action != nullptr);
        QCOMPARE(action->text(), QStringLiteral("Edit Rich Text..."));
        onDialog([&opened](RichTextDialog* dialog) {
            opened = true;
            dialog->reject();
        });
        action->trigger();
        popup->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            edit.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit.viewport(), &event);
    QVERIFY(opened);
}

void TestRichTextEdit::toolBarFormatsText() {
    RichTextDialog dialog;
    dialog.setRtf("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 first\\par second\\par}");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit Rich Text"));
    RichTextEdit* editor = dialog.editor();
    QVERIFY(!editor->editorAvailable());
    editor->selectAll();
    for (const char* name :
         {"boldAction", "italicAction", "underlineAction", "alignCenterAction", "bulletAction"}) {
        auto* action = dialog.findChild<QAction*>(QLatin1String(name));
        QVERIFY2(action != nullptr, name);
        action->trigger();
    }
    QVERIFY(dialog.isModified());
    QTextDocument back;
    QVERIFY(richtext::readRtf(dialog.rtf(), &back).complete);
    QCOMPARE(back.blockCount(), 2);
    for (QTextBlock block = back.begin(); block.isValid(); block = block.next()) {
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QCOMPARE(format.fontWeight(), int(QFont::Bold));
        QVERIFY(format.fontItalic());
        QVERIFY(format.fontUnderline());
        QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(block.textList() != nullptr);
        QCOMPARE(block.textList()->format().style(), QTextListFormat::ListDisc);
    }
    // The tool bar follows the cursor.
    editor->moveCursor(QTextCursor::Start);
    QVERIFY(dialog.findChild<QAction*>(QStringLiteral("boldAction"))->isChecked());
    QVERIFY(dialog.findChild<QAction*>(QStringLiteral("bulletAction"))->isChecked());
    dialog.findChild<QAction*>(QStringLiteral("bulletAction"))->trigger();
    QVERIFY(editor->textCursor().currentList() == nullptr);
}

QTEST_MAIN(TestRichTextEdit)
#include "richtextedit_test.moc"
