#include "FormImages.h"
#include "FrmAboutLayout.h"
#include "FrmMainLayout.h"
#include "FrmSettingsLayout.h"
#include "MessageTextBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using namespace mirel;

class TestForms : public QObject {
    Q_OBJECT

private slots:
    void mainWindowFrame()
    {
        FrmMainLayout w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.centralWidget()->size(), QSize(273, 150));
        QVERIFY(w.height() > 150);  // the menu bar lies outside the client area
        QCOMPARE(w.minimumSize(), w.maximumSize());
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(w.txtMsg->geometry(), QRect(2, 2, 269, 127));
        QCOMPARE(w.lblStatus->geometry(), QRect(2, 132, 269, 17));
        QVERIFY(w.txtMsg->hasFocus());
        QCOMPARE(w.windowTitle(), QStringLiteral("Mirel"));
        QVERIFY(!w.windowIcon().pixmap(16, 16).isNull());
        QCOMPARE(w.windowIcon().pixmap(256, 256).size(), QSize(256, 256));  // drawn, not blown up
        QCOMPARE(ProgramIcon32().size(), QSize(32, 32));
    }

    void menus()
    {
        FrmMainLayout w;
        QCOMPARE(w.mnuFileItem.keys(), (QList<int>{0, 1, 2, 9, 10}));
        QCOMPARE(w.mnuFileItem[10]->text(), QStringLiteral("E&xit"));
        QVERIFY(w.mnuFileItem[9]->isSeparator());
        QCOMPARE(w.mnuToolsItem[2]->text(), QStringLiteral("Message &Offsets"));
        QCOMPARE(w.mnuHelpItem[0]->text(), QStringLiteral("&About Mirel..."));
        QCOMPARE(w.mnuFile->title(), QStringLiteral("&File"));
        for (QAction* item : w.mnuFileItem)
            QVERIFY(item->isEnabled() && !item->isCheckable());
    }

    void shortcutKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("index");
        QTest::newRow("Ctrl+E") << int(Qt::Key_E) << int(Qt::ControlModifier) << 0 << 0;
        QTest::newRow("Ctrl+F") << int(Qt::Key_F) << int(Qt::ControlModifier) << 0 << 1;
        QTest::newRow("Ctrl+D") << int(Qt::Key_D) << int(Qt::ControlModifier) << 0 << 2;
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << 1 << 0;
        QTest::newRow("F2") << int(Qt::Key_F2) << 0 << 1 << 1;
        QTest::newRow("F3") << int(Qt::Key_F3) << 0 << 1 << 2;
    }
    void shortcutKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, family);
        QFETCH(int, index);
        FrmMainLayout w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QSignalSpy file(&w, &FrmMainLayout::mnuFileItemClicked);
        QSignalSpy tools(&w, &FrmMainLayout::mnuToolsItemClicked);
        QTest::keyClick(w.txtMsg, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QSignalSpy& hit = family == 0 ? file : tools;
        QCOMPARE(file.count() + tools.count(), 1);
        QCOMPARE(hit.count(), 1);
        QCOMPARE(hit.at(0).at(0).toInt(), index);
        // The Exit item reports its own index, not its position.
        w.mnuFileItem[10]->trigger();
        QCOMPARE(file.last().at(0).toInt(), 10);
    }

    void settingsWindowLayout()
    {
        FrmSettingsLayout s;
        QCOMPARE(s.windowTitle(), QStringLiteral("Password"));
        QCOMPARE(s.size(), QSize(182, 52));
        QCOMPARE(s.minimumSize(), s.maximumSize());
        QVERIFY(s.lblOffset->isHidden());
        QVERIFY(s.txtOffset->isHidden());
        QCOMPARE(s.txtOffset->text(), QStringLiteral("0"));
        QCOMPARE(s.lblOffset->text(), QStringLiteral("Offset:"));
        QVERIFY(s.cmdOK->isDefault());
        QCOMPARE(s.txtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(s.txtPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, s.txtPassword),
                 int('*'));
        QVERIFY(!(s.windowFlags() & Qt::WindowMaximizeButtonHint));

        // Tab goes from the password to the offset to OK; Escape closes the window without OK.
        s.lblOffset->show();
        s.txtOffset->show();
        s.show();
        QVERIFY(QTest::qWaitForWindowActive(&s));
        s.txtPassword->setFocus();
        QTest::keyClick(&s, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.txtOffset);
        QTest::keyClick(&s, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), s.cmdOK);
        QTest::keyClick(&s, Qt::Key_Escape);
        QVERIFY(!s.isVisible());
        QCOMPARE(s.result(), int(QDialog::Rejected));
    }

    void aboutWindowLayout()
    {
        FrmAboutLayout a;
        QCOMPARE(a.size(), QSize(364, 138));
        QCOMPARE(a.picIcon->geometry(), QRect(16, 16, 32, 32));
        QCOMPARE(a.picIcon->pixmap().size(), QSize(32, 32));
        QVERIFY(a.lblTitle->font().bold());
        QCOMPARE(a.Label1->text(), QStringLiteral("e-mail:"));
        QCOMPARE(a.Label2->text(), QStringLiteral("web:"));
        QVERIFY(a.cmdOK->isDefault());
        QCOMPARE(a.cmdOK->geometry(), QRect(272, 8, 84, 23));
    }

    void messageBoxKeepsTheProgramsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("crlf") << "one\r\ntwo";
        QTest::newRow("lone lf and cr") << "a\nb\rc";
        QTest::newRow("nul and controls") << QString("x") + QChar(0) + "y" + QChar(7) + QChar(0x1b);
        QTest::newRow("high characters") << QString::fromUtf8("\u20ac\u0081\u00ff");
        QTest::newRow("trailing break") << "end\r\n";
    }
    void messageBoxKeepsTheProgramsText()
    {
        QFETCH(QString, text);
        MessageTextBox box;
        box.setText(text);
        QCOMPARE(box.text(), text);
        box.appendText("+more\r\n");
        QCOMPARE(box.text(), text + "+more\r\n");
        QVERIFY(!box.toPlainText().contains(QChar(0)));
    }

    // Steps on the box, and the text the logic then reads. Steps: "type:" at the end, "enter",
    // "paste:", "set:" and "append:" (the program's changes), "undo", "redo", "wipe" (Clear
    // Memory). "@" stands for NUL.
    void editing_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("typed line breaks") << QStringList{"set:kept\r\n", "type:x", "enter", "type:y"}
                                           << "kept\r\nx\r\ny";
        QTest::newRow("typed no-break space") << QStringList{"type:a\u00a0b"} << "a\u00a0b";
        QTest::newRow("pasted line separator") << QStringList{"paste:a\u2028b"} << "a\u2028b";
        QTest::newRow("a decode undone") << QStringList{"type:mine", "set:decoded", "undo"} << "mine";
        QTest::newRow("and redone, whole") << QStringList{"type:mine", "set:d@\rx", "undo", "redo"} << "d@\rx";
        QTest::newRow("a drop undone") << QStringList{"set:kept\r\n", "append:line\r\n", "undo"} << "kept\r\n";
        QTest::newRow("a line break across a drop") << QStringList{"set:cr\r", "append:\nlf"} << "cr\r\nlf";
        QTest::newRow("typing undone, whole") << QStringList{"set:a@b\rc\n", "type:x", "undo"} << "a@b\rc\n";
        QTest::newRow("nothing to undo after a wipe") << QStringList{"type:secret", "set:s", "wipe", "undo", "undo"}
                                                      << "";
    }
    void editing()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        MessageTextBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        for (const QString& step : steps) {
            const QString verb = step.section(':', 0, 0);
            const QString arg = step.section(':', 1).replace('@', QChar(0));
            box.moveCursor(QTextCursor::End);
            if (verb == "type")
                QTest::keyClicks(&box, arg);
            else if (verb == "enter")
                QTest::keyClick(&box, Qt::Key_Return);
            else if (verb == "paste")
                box.insertPlainText(arg);
            else if (verb == "set")
                box.setText(arg);
            else if (verb == "append")
                box.appendText(arg);
            else if (verb == "wipe")
                box.wipe();
            else
                QTest::keySequence(&box, verb == "undo" ? QKeySequence::Undo : QKeySequence::Redo);
        }
        QCOMPARE(box.text(), expected.replace('@', QChar(0)));
    }
};

QTEST_MAIN(TestForms)
#include "test_forms.moc"
