#include "AppInfo.h"
#include "BmpBuilder.h"
#include "TestFiles.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "FormImages.h"
#include "MessageTextBox.h"
#include "ModalDriver.h"
#include "OffsetText.h"
#include "QtUi.h"
#include "CodecCalls.h"
#include "VBEncrypt.h"
#include "frmAbout.h"
#include "frmMain.h"
#include "frmSettings.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace mirel;
using mirel::test::at;
using mirel::test::readFile;
using mirel::test::writeFile;
using mirel::test::ModalDriver;

namespace {


std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}



void makeCarrier(const QString& path, int width, int height)
{
    QVERIFY(test::WriteBmp(local(path), test::ShapeOf(width, height)));
}

// The picture the codec writes for the same input, for comparing byte for byte.
QByteArray codecPicture(const QString& carrier, const std::string& content, uint8_t kind,
                        const std::string& password, int32_t offset)
{
    const std::string payload = password.empty() ? content : CryptString(content, password);
    QFile::remove(at("reference.bmp"));
    int32_t left = offset;
    if (EncodePicture(local(carrier), local(at("reference.bmp")), payload, kind, left) != 0)
        return "<failed>";
    return readFile(at("reference.bmp"));
}

// A drag that carries the given local files, or text only when paths is empty.
std::unique_ptr<QMimeData> dragData(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    if (paths.isEmpty()) {
        data->setText(QStringLiteral("just text"));
        return data;
    }
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// Drags data over the widget; true when it would be dropped as a copy.
bool dragOver(QWidget* target, const QMimeData* data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
}

// Drags data over the widget and lets go of it there.
void dropOn(QWidget* target, const QMimeData* data)
{
    dragOver(target, data);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// What keeps a window from looking and working as promised: a label too small for its text in its
// font (an empty one needs a line: the status line's texts come later) or for its picture;
// controls that overlap or leave their window (the main window's menu bar and client area too); a
// frame that can be resized or maximized or has no close box, and a minimize button on a dialog
// but not on the main window; Enter choosing another button than OK; menus out of order or out of
// the order of their items' indices, an item without an access key of its own in its menu (a
// standing choice, which a stray key must not toggle, has none), two items on one shortcut key, an item that starts disabled, hidden or checked; a focus that does not
// start on focus[0] and move on, a Tab each, through the rest of focus.
QStringList layoutProblems(QWidget* window, const QStringList& focus)
{
    QStringList problems;
    auto* main = qobject_cast<FrmMainLayout*>(window);
    const Qt::WindowFlags flags = window->windowFlags();
    if (window->minimumSize() != window->maximumSize())
        problems << "the frame can be resized";
    if ((flags & Qt::WindowMaximizeButtonHint) || !(flags & Qt::WindowCloseButtonHint) ||
        bool(main) != bool(flags & Qt::WindowMinimizeButtonHint))
        problems << "the title bar's buttons";
    for (QWidget* area : main ? QList<QWidget*>{window, main->centralWidget()} : QList<QWidget*>{window}) {
        const QList<QWidget*> controls = area->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* c : controls) {
            if (c->isHidden())
                continue;
            if (!area->rect().contains(c->geometry()))
                problems << c->objectName() + " leaves the window";
            for (QWidget* d : controls) {
                if (c < d && !d->isHidden() && c->geometry().intersects(d->geometry()))
                    problems << c->objectName() + " overlaps " + d->objectName();
            }
            auto* button = qobject_cast<QPushButton*>(c);
            if (button && button->isDefault() != (button->objectName() == "cmdOK"))
                problems << "Enter chooses another button than cmdOK";
            auto* label = qobject_cast<QLabel*>(c);
            if (!label)
                continue;
            const bool picture = !label->pixmap().isNull();
            const QSize need = picture ? label->pixmap().deviceIndependentSize().toSize()
                                       : label->fontMetrics().size(0, label->text().isEmpty() ? "Xg" : label->text());
            const QRect room = label->contentsRect();
            if (((picture || !label->text().isEmpty()) && need.width() > room.width()) || need.height() > room.height())
                problems << label->objectName() + " cuts " + label->text();
        }
    }
    if (main) {
        const QList<QMenu*> menus{main->mnuFile, main->mnuTools, main->mnuHelp};
        const QList<QList<QAction*>> families{main->mnuFileItem.values(), main->mnuToolsItem.values(),
                                              main->mnuHelpItem.values()};
        QList<QAction*> bar;
        QStringList shortcuts;
        for (qsizetype k = 0; k < menus.size(); ++k) {
            bar << menus[k]->menuAction();
            if (menus[k]->actions() != families[k])
                problems << menus[k]->objectName() + " is out of the order of its indices";
        }
        if (main->menuBar()->actions() != bar)
            problems << "the menus are out of order";
        for (const QList<QAction*>& items : QList<QList<QAction*>>{bar} + families) {
            QStringList keys;
            for (QAction* item : items) {
                if (item->isSeparator())
                    continue;
                const QString key = QKeySequence::mnemonic(item->text()).toString();
                const QString shortcut = item->shortcut().toString();
                if (item->isCheckable() ? !key.isEmpty() : key.isEmpty() || keys.contains(key))
                    problems << item->text() + (item->isCheckable() ? " can be toggled by a stray key"
                                                                    : " has no access key of its own");
                if (!shortcut.isEmpty() && shortcuts.contains(shortcut))
                    problems << item->text() + " shares its shortcut key";
                if (!item->isEnabled() || !item->isVisible() || item->isChecked())
                    problems << item->text() + " starts disabled, hidden or checked";
                keys << key;
                shortcuts << shortcut;
            }
        }
    }
    if (!QTest::qWaitForWindowActive(window))
        return problems << "the window never becomes active";
    QStringList walk;
    for (qsizetype k = 0; k < focus.size(); ++k) {
        if (k > 0)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
        walk << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    if (walk != focus)
        problems << "the focus goes " + walk.join(", ");
    return problems;
}

}  // namespace

class TestApp : public QObject {
    Q_OBJECT

    std::unique_ptr<frmMain> w;
    std::unique_ptr<QtUi> qtUi;
    std::unique_ptr<test::HookedUi> ui;
    std::unique_ptr<ModalDriver> drive;

    void resetGlobals()
    {
        gPassword.clear();
        gOffset = 0;
        gSettingsCancelled = false;
        gAbort = false;
        gBytePos = gMsgStart = gMsgEnd = 0;
    }

    // Hides txtMsg's message with the given settings through the menu; the save dialog gets out.
    void encodeMessage(const QString& carrier, const QString& out, const QString& password = {},
                       const QString& offset = QStringLiteral("0"))
    {
        drive->then(ModalDriver::settings(password, offset));
        drive->then(ModalDriver::chooseFile(carrier));
        drive->then(ModalDriver::chooseFile(out));
        if (QFile::exists(out))
            drive->then(ModalDriver::answer(QMessageBox::Yes));  // replace it
        w->mnuFileItem[0]->trigger();
    }

    void decodePicture(const QString& picture, const QString& password = {}, const QString& offset = QStringLiteral("0"))
    {
        drive->then(ModalDriver::chooseFile(picture));
        drive->then(ModalDriver::settings(password, offset));
        w->mnuFileItem[2]->trigger();
    }

private slots:
    void init()
    {
        test::StartFresh();
        resetGlobals();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        w = std::make_unique<frmMain>();
        qtUi = std::make_unique<QtUi>();
        ui = std::make_unique<test::HookedUi>(*qtUi);
        drive = std::make_unique<ModalDriver>();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        makeCarrier(at("carrier.bmp"), 150, 40);
    }

    void cleanup()
    {
        QVERIFY2(drive->finished(), "a dialog that the test expected never came");
        QCOMPARE(drive->unexpected(), 0);
        QVERIFY(w->mBusy == BusyState::Idle);
        ui.reset();
        drive.reset();
        w.reset();
        qtUi.reset();
        resetGlobals();
    }

    void startUp()
    {
        QCOMPARE(w->windowTitle(), "Mirel v" + QString::fromStdString(AppVersionText()));
        QCOMPARE(w->lblStatus->text(), QString());
        QVERIFY(!w->windowIcon().pixmap(16, 16).isNull());
        QCOMPARE(w->windowIcon().pixmap(256, 256).size(), QSize(256, 256));  // drawn, not blown up
        QCOMPARE(ProgramIcon32().size(), QSize(32, 32));
        // The open dialogs start in the folder the program was started in, not the executable's.
        const QString started = QFileInfo(at(QString())).canonicalFilePath() + '/';
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(started));
        const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
        frmMain fresh;
        QCOMPARE(fresh.mDefaultDir, started);
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
    // On the bare layout, whose items start nothing: each key reaches its family's handler once.
    void shortcutKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, family);
        QFETCH(int, index);
        FrmMainLayout bare;
        bare.show();
        QVERIFY(QTest::qWaitForWindowActive(&bare));
        QSignalSpy file(&bare, &FrmMainLayout::mnuFileItemClicked);
        QSignalSpy tools(&bare, &FrmMainLayout::mnuToolsItemClicked);
        QTest::keyClick(bare.txtMsg, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QSignalSpy& hit = family == 0 ? file : tools;
        QCOMPARE(file.count() + tools.count(), 1);
        QCOMPARE(hit.count(), 1);
        QCOMPARE(hit.at(0).at(0).toInt(), index);
        // The Exit item reports its own index, not its position.
        bare.mnuFileItem[10]->trigger();
        QCOMPARE(file.last().at(0).toInt(), 10);
    }

    void messageRoundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<bool>("stealth");
        QTest::newRow("plain") << "" << "0" << false;
        QTest::newRow("password") << "tulip" << "0" << false;
        QTest::newRow("offset") << "" << "&H20" << false;
        QTest::newRow("both") << "p\u00e4ss" << "1e2" << false;
        QTest::newRow("stealth, found by itself") << "p\u00e4ss \u2713" << "0" << true;
    }
    void messageRoundTrip()
    {
        QFETCH(QString, password);
        QFETCH(QString, offset);
        QFETCH(bool, stealth);
        const QString message = QString::fromUtf8("Hello\r\nw\u00f6rld \u20ac and more");
        const QString note = stealth ? QStringLiteral(" (stealth)") : QString();
        w->txtMsg->setText(message);
        if (stealth) {
            w->mnuToolsItem[4]->trigger();
            QVERIFY(frmMain().Stealth());  // remembered
        }
        encodeMessage(at("carrier.bmp"), at("out.bmp"), password, offset);
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded out.bmp") + note);
        QCOMPARE(gPassword, password.toStdU16String());
        const int32_t groups = int32_t(ValueOfOffsetText(offset.toStdString()).value);
        if (!stealth) {
            QCOMPARE(gMsgStart, groups);
            QCOMPARE(readFile(at("out.bmp")), codecPicture(at("carrier.bmp"), AnsiFromUtf16(message.toStdU16String()),
                                                           kKindMessage, AnsiFromUtf16(password.toStdU16String()),
                                                           groups));
        } else {
            w->mnuToolsItem[4]->trigger();  // decoding finds it all the same
        }

        w->txtMsg->setText(QStringLiteral("something else"));
        decodePicture(at("out.bmp"), password, offset);
        QCOMPARE(w->txtMsg->text(), message);
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Decoded out.bmp") + note);
        QCOMPARE(gMsgStart, 0);  // a decode run clears the encoder's bookkeeping
    }

    // Strong Encryption seals what is encoded; decoding opens whatever a picture holds.
    void strongEncryptionSealsEncodesOnly()
    {
        w->mnuToolsItem[3]->setChecked(true);
        w->txtMsg->setText(QStringLiteral("sealed words"));
        encodeMessage(at("carrier.bmp"), at("s.bmp"), "pw");
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded s.bmp (sealed)"));
        w->txtMsg->setText(QStringLiteral("x"));
        decodePicture(at("s.bmp"), "pw");
        QCOMPARE(w->txtMsg->text(), QStringLiteral("sealed words"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Decoded s.bmp (sealed)"));

        int32_t offset = 0;
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("plain.bmp")), CryptString("plain words", "pw"),
                               kKindMessage, offset), 0);
        decodePicture(at("plain.bmp"), "pw");
        QVERIFY(drive->messages.isEmpty());
        QCOMPARE(w->txtMsg->text(), QStringLiteral("plain words"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Decoded plain.bmp"));
    }

    void fileRoundTrip()
    {
        QDir().mkpath(at("in"));
        QDir().mkpath(at("back"));
        QByteArray data;
        for (int k = 0; k < 700; ++k)
            data += char(k * 7);
        writeFile(at("in/report.bin"), data);

        drive->then(ModalDriver::chooseFile(at("in/report.bin")));
        drive->then(ModalDriver::settings("key", "3"));
        drive->then(ModalDriver::chooseFile(at("carrier.bmp")));
        drive->then(ModalDriver::chooseFile(at("hidden.bmp")));
        w->mnuFileItem[1]->trigger();
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded hidden.bmp"));
        const std::string content = std::string(1, char(10)) + "report.bin" + data.toStdString();
        QCOMPARE(readFile(at("hidden.bmp")), codecPicture(at("carrier.bmp"), content, kKindFile, "key", 3));

        QString proposed;
        drive->then(ModalDriver::chooseFile(at("hidden.bmp")));
        drive->then(ModalDriver::settings("key", "3"));
        drive->then([&proposed](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            proposed = dialog ? dialog->windowTitle() + "|" + dialog->findChild<QLineEdit*>("fileNameEdit")->text()
                              : QString();
            ModalDriver::chooseFile(at("back/report.bin"))(modal);
        });
        w->mnuFileItem[2]->trigger();
        QCOMPARE(proposed, QStringLiteral("Save File As|report.bin"));
        QCOMPARE(readFile(at("back/report.bin")), data);
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Decoded file report.bin"));
        QCOMPARE(w->mDefaultDir, QString());
    }

    void carrierDialogTitle_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("title");
        QTest::newRow("ten characters") << 0 << 10 << "Bitmap To Encode (Req Size: 126 / 1k)";
        QTest::newRow("file of 1,000 bytes") << 1 << 1000 << "Bitmap To Encode (Req Size: 9,036 / 10k)";
        QTest::newRow("empty file") << 1 << 0 << "Bitmap To Encode (Req Size: 36 / 1k)";
    }
    void carrierDialogTitle()
    {
        QFETCH(int, kind);
        QFETCH(int, size);
        QFETCH(QString, title);
        w->lblStatus->setText(" before");
        w->txtMsg->setText(QString(size, 'x'));
        writeFile(at("thing.bin"), QByteArray(size, 'y'));
        if (kind == 1)
            drive->then(ModalDriver::chooseFile(at("thing.bin")));
        drive->then(ModalDriver::settings("", "0"));
        QString seen;
        QString startsOn;
        drive->then([&](QWidget* modal) {
            seen = modal->windowTitle();
            startsOn = qobject_cast<QFileDialog*>(modal)->selectedNameFilter();
            ModalDriver::cancel()(modal);
        });
        w->mnuFileItem[kind]->trigger();
        QCOMPARE(seen, title);
        // A folder of PNG pictures does not look empty: the dialog starts on every picture.
        QVERIFY2(startsOn.startsWith("All Pictures (") && startsOn.contains("*.png"), qPrintable(startsOn));
        // Cancelling the carrier dialog ends the run quietly, before the folder is forgotten.
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" before"));
        QCOMPARE(w->mDefaultDir, w->mAppPath);
    }

    void cancellingEachDialog()
    {
        w->lblStatus->setText(" before");
        w->txtMsg->setText("message");
        // The settings window closed with Escape, as with its close box: nothing else is shown.
        drive->then([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        w->mnuFileItem[0]->trigger();
        QVERIFY(drive->finished());
        // The file to hide not chosen.
        drive->then(ModalDriver::cancel());
        w->mnuFileItem[1]->trigger();
        QVERIFY(drive->finished());
        // The destination not chosen: the folder is forgotten all the same.
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::chooseFile(at("carrier.bmp")));
        drive->then(ModalDriver::cancel());
        w->mnuFileItem[0]->trigger();
        QCOMPARE(w->mDefaultDir, QString());
        // The bitmap to decode not chosen.
        drive->then(ModalDriver::cancel());
        w->mnuFileItem[2]->trigger();
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" before"));
        QCOMPARE(w->txtMsg->text(), QStringLiteral("message"));
        QCOMPARE(gBytePos, 0);

        // An empty message: only the box that says so.
        w->txtMsg->setText(QString());
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[0]->trigger();
        QCOMPARE(drive->messages.value(0), QStringLiteral("No message to encode.\n\nEnter a message in the text box first"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" before"));

        // Characters without a code would become "?": asked first, and No ends the run.
        w->txtMsg->setText(QString::fromUtf8("caf\u00e9 \u4e2d\U0001F600"));
        drive->then(ModalDriver::answer(QMessageBox::No));
        w->mnuFileItem[0]->trigger();
        QCOMPARE(drive->messages.last(), QStringLiteral("2 characters cannot be stored and will be saved as '?'. Continue?"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" before"));
    }

    // A picture the program is asked to open (from a file manager) is offered for decoding.
    void aPictureToOpenIsOfferedForDecoding()
    {
        QString seen;
        drive->then([&seen](QWidget* modal) {
            seen = modal->windowTitle() + "|" + modal->findChild<QLineEdit*>("fileNameEdit")->text();
            ModalDriver::cancel()(modal);
        });
        w->OfferToDecode(at("carrier.bmp"));
        QTRY_VERIFY(drive->finished());
        QCOMPARE(seen, QStringLiteral("Decode Bitmap|carrier.bmp"));
    }

    void cancelledSaveShowsTheFileAsText()
    {
        const std::string content = std::string(1, char(5)) + "a.txt" + "file body";
        int32_t offset = 0;
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("f.bmp")), content, kKindFile, offset), 0);
        drive->then(ModalDriver::chooseFile(at("f.bmp")));
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::cancel());
        w->mnuFileItem[2]->trigger();
        QCOMPARE(w->txtMsg->text(), QStringLiteral("file body"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Decoded f.bmp"));
        QCOMPARE(w->mDefaultDir, QString());
    }

    void busyRefusal()
    {
        makeCarrier(at("big.bmp"), 300, 60);
        w->txtMsg->setText("busy");
        ui->onYield = [this](int n) {
            if (n == 3) {
                drive->then(ModalDriver::answer(QMessageBox::Ok));
                w->mnuFileItem[2]->trigger();  // a decode while the encode runs
                drive->then(ModalDriver::answer(QMessageBox::Ok));
                w->mnuFileItem[1]->trigger();
            }
        };
        encodeMessage(at("big.bmp"), at("out.bmp"));
        QCOMPARE(drive->messages, QStringList({"A process is currently running...", "A process is currently running..."}));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded out.bmp"));
        QCOMPARE(gBytePos, 6000);
    }

    void abortByCloseRequest_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::addColumn<bool>("yes");
        QTest::newRow("close box, yes") << false << true;
        QTest::newRow("close box, no") << false << false;
        QTest::newRow("exit item, yes") << true << true;
        QTest::newRow("exit item, no") << true << false;
    }
    void abortByCloseRequest()
    {
        QFETCH(bool, viaExit);
        QFETCH(bool, yes);
        makeCarrier(at("big.bmp"), 900, 400);
        writeFile(at("out.bmp"), "an older picture");
        w->txtMsg->setText(QString(3000, 'a'));  // ten rows of the stream, a yield after each
        ui->onYield = [&](int n) {
            if (n != 5)
                return;
            drive->then(ModalDriver::answer(yes ? QMessageBox::Yes : QMessageBox::No));
            if (viaExit)
                w->mnuFileItem[10]->trigger();
            else
                w->close();
        };
        encodeMessage(at("big.bmp"), at("out.bmp"));
        QCOMPARE(drive->messages.last(), QStringLiteral("A Process is still running...\n\nAbort Process?"));
        QVERIFY(w->isVisible());
        QVERIFY(!gAbort);
        if (yes) {
            QCOMPARE(w->lblStatus->text(), QStringLiteral(" User Aborted Encoding out.bmp"));
            // No partial picture: the old file as it was, and nothing beside it.
            QCOMPARE(readFile(at("out.bmp")), QByteArray("an older picture"));
            QCOMPARE(QDir(at(QString())).entryList(QDir::Files | QDir::Hidden).filter("out.bmp").size(), 1);
            // Idle again: the next close request closes without a question.
            w->close();
            QVERIFY(!w->isVisible());
        } else {
            QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded out.bmp"));
            QCOMPARE(QFileInfo(at("out.bmp")).size(), qint64(54 + 400 * 2700));
        }
    }

    void closeWhileTheAbortIsPending()
    {
        makeCarrier(at("big.bmp"), 900, 400);
        w->txtMsg->setText(QString(3000, 'a'));  // ten rows of the stream, a yield after each
        bool closedDuringRun = false;
        ui->onYield = [&](int n) {
            if (n == 2) {
                drive->then(ModalDriver::answer(QMessageBox::Yes));
                w->close();
                w->close();  // asked again while the abort is pending: waits for the run
                closedDuringRun = !w->isVisible();
            }
        };
        encodeMessage(at("big.bmp"), at("out.bmp"));
        QVERIFY(!closedDuringRun);
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" User Aborted Encoding out.bmp"));
        QTRY_VERIFY(!w->isVisible());
    }

    void abortDuringDecode()
    {
        makeCarrier(at("big.bmp"), 30, 400);
        int32_t offset = 0;
        const std::string text(2000, 'q');
        QCOMPARE(EncodePicture(local(at("big.bmp")), local(at("long.bmp")), text, kKindMessage, offset), 0);
        ui->yields = 0;
        ui->onYield = [&](int n) {
            if (n == 3) {
                drive->then(ModalDriver::answer(QMessageBox::Yes));
                w->close();
            }
        };
        w->txtMsg->setText("kept");
        decodePicture(at("long.bmp"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" User Aborted Decoding long.bmp"));
        // Nothing half-decoded is shown.
        QCOMPARE(w->txtMsg->text(), QStringLiteral("kept"));
    }

    void settingsWindow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("trailing letters") << "12abc" << 12;
        QTest::newRow("blanks") << " 1 2 " << 12;
        QTest::newRow("half down") << "2.5" << 2;
        QTest::newRow("half up") << "3.5" << 4;
        QTest::newRow("hex") << "&H10" << 16;
        QTest::newRow("exponent") << "1e3" << 1000;
    }
    void settingsWindow()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        gOffset = 99;
        drive->then(ModalDriver::settings("pw one", text));
        QVERIFY(ShowSettings(w.get(), true));
        QCOMPARE(gOffset, value);
        QVERIFY(!gSettingsCancelled);
        QCOMPARE(gPassword, std::u16string(u"pw one"));

        // The next opening offers the password again, masked, and the offset "0".
        QString seen;
        drive->then([&seen](QWidget* modal) {
            auto* password = modal->findChild<QLineEdit*>("txtPassword");
            auto* offset = modal->findChild<QLineEdit*>("txtOffset");
            seen = password->text() + "|" + password->displayText() + "|" + offset->text() + "|" +
                   QString::number(offset->isVisible()) + "|" + modal->windowTitle();
            ModalDriver::cancel()(modal);
        });
        QVERIFY(!ShowSettings(w.get(), true));
        QCOMPARE(seen, QStringLiteral("pw one|******|0|1|Password"));
        QVERIFY(gSettingsCancelled);
        QCOMPARE(gOffset, value);
    }

    // Each window in the program's font: every text shows whole, nothing overlaps, the menus and
    // the focus go as promised (focus: where it starts and where each Tab takes it). The settings
    // and About windows open centred on the main window, wherever that stands (its top left
    // corner, as fractions of the screen's width and height), and wholly on the screen; Enter in
    // the settings window is its OK.
    void windowLayouts_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QPointF>("place");
        QTest::addColumn<int>("pointSize");  // of the program's font; 0: as it is
        QTest::addColumn<QStringList>("focus");
        const QStringList settings{"txtPassword", "txtOffset", "cmdOK", "txtPassword"};
        QTest::newRow("main, large font") << "main" << QPointF() << 16 << QStringList{"txtMsg"};
        QTest::newRow("settings, top left") << "settings" << QPointF(0, 0) << 0 << settings;
        QTest::newRow("settings, half off the bottom right, large font") << "settings" << QPointF(0.9, 0.9) << 16
                                                                         << settings;
        QTest::newRow("About, top left") << "about" << QPointF(0, 0) << 0 << QStringList{"cmdUpdate"};
        QTest::newRow("About, half off the bottom right, large font") << "about" << QPointF(0.9, 0.9) << 16
                                                                      << QStringList{"cmdUpdate"};
    }
    void windowLayouts()
    {
        QFETCH(QString, window);
        QFETCH(QPointF, place);
        QFETCH(int, pointSize);
        QFETCH(QStringList, focus);
        const QFont font = QApplication::font();
        const auto restore = qScopeGuard([font] { QApplication::setFont(font); });
        if (pointSize > 0) {
            QFont large = font;
            large.setPointSize(pointSize);
            QApplication::setFont(large);
        }
        if (window == "main") {
            frmMain fresh;
            fresh.show();
            QCOMPARE(layoutProblems(&fresh, focus).join("; "), QString());
            return;
        }

        const QRect screen = w->screen()->availableGeometry();
        w->move(screen.topLeft() + QPoint(int(screen.width() * place.x()), int(screen.height() * place.y())));
        QRect seen;
        QStringList problems;
        if (window == "settings") {
            drive->then([&](QWidget* modal) {
                seen = modal->frameGeometry();
                problems = layoutProblems(modal, focus);
                QTest::keyClick(modal->focusWidget(), Qt::Key_Return);
                if (modal->isVisible())
                    ModalDriver::cancel()(modal);  // Enter did not close it
            });
            QVERIFY(ShowSettings(w.get(), true));
        } else {
            QPointer<frmAbout> about = frmAbout::ShowAbout(w.get());
            QVERIFY(QTest::qWaitForWindowExposed(about));
            seen = about->frameGeometry();
            problems = layoutProblems(about, focus);
            QCOMPARE(about->picIcon->pixmap().size(), QSize(32, 32));
            about->close();
        }
        QCOMPARE(problems.join("; "), QString());
        // Wholly on the screen, and nearer the main window's middle than the screen's.
        QVERIFY(screen.contains(seen));
        const QPoint middle = seen.center();
        QVERIFY((middle - w->frameGeometry().center()).manhattanLength() <
                (middle - screen.center()).manhattanLength());
    }

    // What cannot be used is said, and the window stays open for a correction with nothing stored.
    void settingsRefusalsKeepTheWindowOpen_data()
    {
        QTest::addColumn<bool>("encodeRun");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("message");
        const QString range = QStringLiteral("\n\nEnter a number from 0 to 2,147,483,647.");
        QTest::newRow("offset beyond 32 bits") << false << "new" << "1e10" << "The offset 1e10 is too large." + range;
        QTest::newRow("negative offset") << false << "new" << "-7" << "The offset -7 is negative." + range;
        QTest::newRow("negative in hexadecimal") << false << "new" << "&HFFFF" << "The offset &HFFFF is negative." + range;
        // Every such character would become the same "?": any of them would open the picture.
        QTest::newRow("password without a code, encoding")
            << true << "\u043f\u0430\u0440\u043e\u043b\u044c123" << "0"
            << "The password holds 6 different characters that cannot be stored.\n";
        QTest::newRow("password without a code, decoding") << false << "\U0001F511" << "0" << "";
    }
    void settingsRefusalsKeepTheWindowOpen()
    {
        QFETCH(bool, encodeRun);
        QFETCH(QString, password);
        QFETCH(QString, offset);
        QFETCH(QString, message);
        gPassword = u"old";
        gOffset = 4;
        drive->then(ModalDriver::settings(password, offset));
        if (!message.isEmpty()) {
            drive->then(ModalDriver::answer(QMessageBox::Ok));
            drive->then(ModalDriver::settings("new", "25"));
        }
        QVERIFY(ShowSettings(w.get(), encodeRun));
        QCOMPARE(drive->messages.value(0).left(message.size()), message);
        QCOMPARE(gPassword, (message.isEmpty() ? password : QStringLiteral("new")).toStdU16String());
        if (!message.isEmpty())
            QCOMPARE(gOffset, 25);
    }

    void decodedBytesLandUnchanged()
    {
        std::string bytes = "line\r\nlone lf\nlone cr\rnul:";
        bytes += '\0';
        for (int b = 0x80; b <= 0xFF; ++b)
            bytes += char(b);
        int32_t offset = 0;
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("bytes.bmp")), bytes, kKindMessage, offset), 0);
        decodePicture(at("bytes.bmp"));
        QCOMPARE(w->txtMsg->text().toStdU16String(), Utf16FromAnsi(bytes));
        // Hidden again from the text box, the very same bytes go into the picture.
        encodeMessage(at("carrier.bmp"), at("again.bmp"));
        QCOMPARE(readFile(at("again.bmp")), readFile(at("bytes.bmp")));
    }

    // What a wrong password gives is shown as it is, with a word that it looks wrong; a file's
    // garbled name is said to be so before the save dialog offers what is usable of it.
    void wrongPasswordIsNoted()
    {
        int32_t offset = 0;
        const std::string secret = "the real message, long enough to tell";
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("pw.bmp")), CryptString(secret, "right"),
                               kKindMessage, offset), 0);
        decodePicture(at("pw.bmp"), "wrong");
        QVERIFY(drive->messages.isEmpty());
        QCOMPARE(w->txtMsg->text().size(), qsizetype(secret.size()));
        // The note stays in sight; a name that leaves it no room is shortened, and the whole text is
        // the tooltip.
        const QString status = QStringLiteral(" Decoded pw.bmp (not like text: wrong password or offset?)");
        QVERIFY(w->lblStatus->text() == status || w->lblStatus->toolTip() == status);
        QVERIFY2(w->lblStatus->text().endsWith(" (not like text: wrong password or offset?)"),
                 qPrintable(w->lblStatus->text()));

        const std::string file = std::string(1, char(7)) + "a\x1B" "b.txt" + "data";
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("f.bmp")), file, kKindFile, offset), 0);
        QString proposed;
        drive->then(ModalDriver::chooseFile(at("f.bmp")));
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        drive->then([&proposed](QWidget* modal) {
            proposed = modal->findChild<QLineEdit*>("fileNameEdit")->text();
            ModalDriver::cancel()(modal);
        });
        w->mnuFileItem[2]->trigger();
        QVERIFY(drive->messages.value(0).contains("\"a\\x1Bb.txt\", does not look like a name"));
        QCOMPARE(proposed, QStringLiteral("a_b.txt"));

        // A name that runs past the data: nothing is offered.
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("f.bmp")), "\x40short", kKindFile, offset), 0);
        drive->then(ModalDriver::chooseFile(at("f.bmp")));
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[2]->trigger();
        QVERIFY(drive->messages.last().startsWith("The name of the hidden file runs past the end of its data."));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Error decoding f.bmp"));
    }

    void savingDecodedFiles()
    {
        const std::string content = std::string(1, char(4)) + "x.db" + "short";
        int32_t offset = 0;
        QCOMPARE(EncodePicture(local(at("carrier.bmp")), local(at("f.bmp")), content, kKindFile, offset), 0);

        // Over an existing, longer file: afterwards it holds exactly the data.
        writeFile(at("long.db"), QByteArray(5000, 'L'));
        drive->then(ModalDriver::chooseFile(at("f.bmp")));
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::chooseFile(at("long.db")));
        drive->then(ModalDriver::answer(QMessageBox::Yes));  // replace it
        w->mnuFileItem[2]->trigger();
        QCOMPARE(readFile(at("long.db")), QByteArray("short"));

        // A file with another name (a hard link) is asked about once more, No by default: No goes
        // back to the dialog; Yes replaces it, and the other name keeps the old content.
        writeFile(at("linked.db"), QByteArray("old"));
        QVERIFY(::link(local(at("linked.db")).c_str(), local(at("other.db")).c_str()) == 0);
        bool defaultNo = false;
        drive->then(ModalDriver::chooseFile(at("f.bmp")));
        drive->then(ModalDriver::settings("", "0"));
        for (const int answer : {QMessageBox::No, QMessageBox::Yes}) {
            drive->then(ModalDriver::chooseFile(at("linked.db")));
            drive->then(ModalDriver::answer(QMessageBox::Yes));  // the dialog's own question
            drive->then([&defaultNo, answer](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                defaultNo = box && box->defaultButton() == box->button(QMessageBox::No);
                ModalDriver::answer(answer)(modal);
            });
        }
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[2]->trigger();
        QVERIFY(defaultNo);
        QVERIFY(drive->messages.contains(QStringLiteral("linked.db already exists, and it has another name (a hard "
                                                         "link) that would keep the old content.\n\nReplace it anyway?")));
        QVERIFY(drive->messages.last().endsWith("linked.db: its other name (a hard link) keeps the old content."));
        QCOMPARE(readFile(at("linked.db")), QByteArray("short"));
        QCOMPARE(readFile(at("other.db")), QByteArray("old"));

        // A place that cannot take the data: reported, and the run ends idle.
        if (QFile::exists("/dev/full")) {
            w->txtMsg->setText("kept");
            drive->then(ModalDriver::chooseFile(at("f.bmp")));
            drive->then(ModalDriver::settings("", "0"));
            drive->then(ModalDriver::chooseFile("/dev/full"));
            drive->then(ModalDriver::answer(QMessageBox::Yes));
            drive->then(ModalDriver::answer(QMessageBox::Ok));
            w->mnuFileItem[2]->trigger();
            QVERIFY(drive->messages.last().startsWith("Cannot write file /dev/full:\n"));
            QVERIFY(drive->messages.last().contains("a device, not a file"));
            QCOMPARE(w->lblStatus->text(), QStringLiteral(" Error decoding f.bmp"));
            QCOMPARE(w->txtMsg->text(), QStringLiteral("kept"));
        }
    }

    void filesThatCannotBeHidden()
    {
        // Unreadable: reported with the file's name; no settings window.
        if (QFile::exists("/proc/self/mem")) {
            drive->then(ModalDriver::chooseFile("/proc/self/mem"));
            drive->then(ModalDriver::answer(QMessageBox::Ok));
            w->mnuFileItem[1]->trigger();
            QVERIFY2(drive->messages.value(0).startsWith("Cannot read file /proc/self/mem:\n"),
                     qPrintable(drive->messages.value(0)));
        }
        // Too large for the 32-bit sizes of the format (sparse: takes no room).
        QFile huge(at("huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(300) * 1000 * 1000));
        huge.close();
        drive->then(ModalDriver::chooseFile(at("huge.bin")));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[1]->trigger();
        QVERIFY2(drive->messages.last().contains("is too large to hide"), qPrintable(drive->messages.last()));
        QCOMPARE(w->lblStatus->text(), QString());
    }

    void codecRefusalsBecomeStatusTexts()
    {
        writeFile(at("text.bmp"), "not a picture at all");
        w->txtMsg->setText("x");
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::chooseFile(at("text.bmp")));
        drive->then(ModalDriver::chooseFile(at("o.bmp")));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[0]->trigger();
        QCOMPARE(drive->messages, QStringList{"Bitmap doesn't appear to be in Windows format."});
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Error Encoding o.bmp"));

        drive->then(ModalDriver::chooseFile(at("text.bmp")));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuFileItem[2]->trigger();
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Error decoding text.bmp"));

        // A lossy name is refused in the save dialog itself, which asks again.
        drive->messages.clear();
        drive->then(ModalDriver::settings("", "0"));
        drive->then(ModalDriver::chooseFile(at("carrier.bmp")));
        drive->then(ModalDriver::chooseFile(at("o.jpg")));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        drive->then(ModalDriver::chooseFile(at("o.png")));
        w->mnuFileItem[0]->trigger();
        QCOMPARE(drive->messages.size(), qsizetype(1));
        QVERIFY(drive->messages[0].contains("o.jpg would change its pixels"));
        QVERIFY(!QFile::exists(at("o.jpg")));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded o.png"));
    }


    void messageSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty") << "" << " Message Size: 0 bytes";
        QTest::newRow("line break counts two") << "ab\r\ncd" << " Message Size: 6 bytes";
        QTest::newRow("grouped") << QString(1234, 'z') << " Message Size: 1,234 bytes";
    }
    void messageSize()
    {
        QFETCH(QString, text);
        QFETCH(QString, status);
        w->txtMsg->setText(text);
        QTest::keyClick(w->txtMsg, Qt::Key_F1);
        QCOMPARE(w->lblStatus->text(), status);
    }

    void typedTextIsHiddenAsTyped()
    {
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClicks(w->txtMsg, QString::fromUtf8("a\u00a0b"));
        QTest::keyClick(w->txtMsg, Qt::Key_Return);
        QTest::keyClicks(w->txtMsg, "c");
        w->mnuToolsItem[0]->trigger();
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Message Size: 6 bytes"));
        encodeMessage(at("carrier.bmp"), at("typed.bmp"));
        QCOMPARE(readFile(at("typed.bmp")), codecPicture(at("carrier.bmp"), "a\xa0" "b\r\nc", kKindMessage, "", 0));
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

    // Steps on the message box, and the text the logic then reads. Steps: "type:" at the end,
    // "enter", "paste:", "set:" and "append:" (the program's changes), "undo", "redo", "wipe"
    // (Clear Memory). "@" stands for NUL.
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

    void clearMemory()
    {
        gPassword = u"secret";
        w->txtMsg->setText("message");
        w->lblStatus->setText(" status");
        w->mnuToolsItem[1]->trigger();
        QCOMPARE(gPassword, std::u16string());
        QCOMPARE(w->txtMsg->text(), QString());
        QCOMPARE(w->lblStatus->text(), QString());
        QTRY_VERIFY(w->txtMsg->hasFocus());
        QTest::keySequence(w->txtMsg, QKeySequence::Undo);  // the message is gone for good
        QCOMPARE(w->txtMsg->text(), QString());

        // The settings window then opens with an empty password.
        QString seen = "<not shown>";
        drive->then([&seen](QWidget* modal) {
            seen = modal->findChild<QLineEdit*>("txtPassword")->text();
            ModalDriver::cancel()(modal);
        });
        ShowSettings(w.get(), true);
        QCOMPARE(seen, QString());
    }

    void clearMemoryDuringADecode()
    {
        makeCarrier(at("big.bmp"), 30, 400);
        const std::string text(300, 'm');
        int32_t offset = 0;
        QCOMPARE(EncodePicture(local(at("big.bmp")), local(at("pw.bmp")), CryptString(text, "pw"), kKindMessage, offset), 0);
        ui->yields = 0;
        ui->onYield = [this](int n) {
            if (n == 3)
                w->mnuToolsItem[1]->trigger();
        };
        decodePicture(at("pw.bmp"), "pw");
        // The password was gone when the decoder returned: the payload shows as stored.
        QCOMPARE(w->txtMsg->text().toStdU16String(), Utf16FromAnsi(CryptString(text, "pw")));
        QCOMPARE(gPassword, std::u16string());
    }

    void messageOffsets()
    {
        const QString empty = QStringLiteral("   Start: 0\n     End: 0\nLength: 0");
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        QString caption;
        drive->then([&caption](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            caption = box->windowTitle() + "|" + QString::number(box->icon());
            ModalDriver::answer(QMessageBox::Ok)(modal);
        });
        w->mnuToolsItem[2]->trigger();  // right after start-up
        w->mnuToolsItem[2]->trigger();
        QCOMPARE(caption, QStringLiteral("Mirel - Message Offsets|") + QString::number(QMessageBox::Information));

        // After a complete encode: first and last group of the stream, groups visited.
        makeCarrier(at("big.bmp"), 300, 60);
        w->txtMsg->setText(QString(12, 'x'));
        encodeMessage(at("big.bmp"), at("o.bmp"), QString(), QStringLiteral("5"));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuToolsItem[2]->trigger();
        QCOMPARE(drive->messages.last(), QStringLiteral("   Start: 5\n     End: 20\nLength: 6,000"));

        // A cancelled run, and a decode, start from zero again.
        drive->then(ModalDriver::cancel());
        w->mnuFileItem[2]->trigger();
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuToolsItem[2]->trigger();
        QCOMPARE(drive->messages.last(), empty);
        encodeMessage(at("big.bmp"), at("o2.bmp"));
        decodePicture(at("o2.bmp"));
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->mnuToolsItem[2]->trigger();
        QCOMPARE(drive->messages.last(), empty);
        QCOMPARE(drive->messages.first(), empty);
    }

    void dragsOfFilesOnly()
    {
        writeFile(at("a.txt"), "a");
        QWidget* viewport = w->txtMsg->viewport();
        QVERIFY(dragOver(viewport, dragData({at("a.txt")}).get()));
        const auto text = dragData({});
        QVERIFY(!dragOver(viewport, text.get()));
        dropOn(viewport, text.get());
        QCOMPARE(w->txtMsg->text(), QString());
        auto web = std::make_unique<QMimeData>();
        web->setUrls({QUrl("http://example.com/file.txt")});
        QVERIFY(!dragOver(viewport, web.get()));
    }

    void droppedFiles_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("statuses");
        QTest::newRow("two files in order") << QStringList{"one.txt", "two.txt"} << "first\r\nsecond\r\nthird\r\n"
                                            << QStringList{" Loading @one.txt...", " Loaded @one.txt.",
                                                           " Loading @two.txt...", " Loaded @two.txt."};
        QTest::newRow("folder only") << QStringList{"folder"} << "" << QStringList{};
        QTest::newRow("folder skipped") << QStringList{"folder", "two.txt"} << "third\r\n"
                                        << QStringList{" Loading @two.txt...", " Loaded @two.txt."};
        QTest::newRow("empty file") << QStringList{"empty.txt"} << ""
                                    << QStringList{" Loading @empty.txt...", " Loaded @empty.txt."};
        QTest::newRow("lf only") << QStringList{"lf.txt"} << "a\nb\n\r\n" << QStringList{" Loading @lf.txt...", " Loaded @lf.txt."};
        QTest::newRow("same file twice") << QStringList{"two.txt", "two.txt"} << "third\r\nthird\r\n"
                                         << QStringList{" Loading @two.txt...", " Loaded @two.txt.",
                                                        " Loading @two.txt...", " Loaded @two.txt."};
        QTest::newRow("utf-8 and 8-bit text") << QStringList{"utf8.txt", "ansi.txt"}
                                              << QString::fromUtf8("gr\u00fc\u00dfe\r\ncaf\u00e9\r\n")
                                              << QStringList{" Loading @utf8.txt...", " Loaded @utf8.txt.",
                                                             " Loading @ansi.txt...", " Loaded @ansi.txt."};
    }
    void droppedFiles()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QFETCH(QStringList, statuses);
        writeFile(at("one.txt"), "first\r\nsecond\r\n");
        writeFile(at("two.txt"), "third");  // no line break at the end
        writeFile(at("empty.txt"), "");
        writeFile(at("lf.txt"), "a\nb\n");
        writeFile(at("utf8.txt"), "gr\xc3\xbc\xc3\x9f" "e");
        writeFile(at("ansi.txt"), "caf\xe9");
        QDir().mkpath(at("folder"));
        QStringList paths;
        for (const QString& f : files)
            paths << at(f);
        QStringList seen;
        ui->onYield = [&](int) { seen << w->lblStatus->text(); };

        w->txtMsg->setText("kept\r\n");
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->setFocus();
        dropOn(w->txtMsg->viewport(), dragData(paths).get());
        QCOMPARE(w->txtMsg->text(), "kept\r\n" + expected);
        QCOMPARE(seen.join('|'), statuses.join('|').replace('@', at(QString())));
        QVERIFY(w->txtMsg->hasFocus());  // ready for typing, also after a drop of folders only
    }

    // A drop that cannot be loaded (unreadable, a pipe that may never end, a file too large for a
    // message) is said and adds nothing; the other files of the drop still load.
    void droppedFilesThatCannotBeLoaded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("unreadable") << "/proc/self/mem" << "Cannot read file /proc/self/mem:\n";
        QTest::newRow("fifo") << "@fifo" << "Cannot load @fifo: it is not a file.";
        QTest::newRow("too large") << "@big.txt" << "Cannot load @big.txt: it has 16,777,217 bytes";
    }
    void droppedFilesThatCannotBeLoaded()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        path.replace('@', at(QString()));
        message.replace('@', at(QString()));
        if (!QFile::exists(path) && path.startsWith('/') && !path.startsWith(at(QString())))
            QSKIP("needs /proc/self/mem, a file that exists and cannot be read");
        QCOMPARE(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
        QFile big(at("big.txt"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(16 * 1024 * 1024 + 1));  // sparse
        big.close();
        writeFile(at("two.txt"), "third");
        drive->then(ModalDriver::answer(QMessageBox::Ok));
        w->txtMsg->setText("kept\r\n");
        dropOn(w->txtMsg->viewport(), dragData({path, at("two.txt")}).get());
        QVERIFY2(drive->messages.value(0).startsWith(message), qPrintable(drive->messages.value(0)));
        QCOMPARE(w->txtMsg->text(), QStringLiteral("kept\r\nthird\r\n"));
        QCOMPARE(w->lblStatus->text(), " Loaded " + at("two.txt") + ".");
    }

    void dropDuringARun()
    {
        makeCarrier(at("big.bmp"), 300, 60);
        writeFile(at("two.txt"), "third");
        w->txtMsg->setText("hidden");
        ui->onYield = [this](int n) {
            if (n == 3)
                dropOn(w->txtMsg->viewport(), dragData({at("two.txt")}).get());
        };
        encodeMessage(at("big.bmp"), at("o.bmp"));
        QCOMPARE(w->txtMsg->text(), QStringLiteral("hidden" "third\r\n"));
        QCOMPARE(w->lblStatus->text(), QStringLiteral(" Encoded o.bmp"));
        QCOMPARE(readFile(at("o.bmp")), codecPicture(at("big.bmp"), "hidden", kKindMessage, "", 0));
    }

};

QTEST_MAIN(TestApp)
#include "test_app.moc"
