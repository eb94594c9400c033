#include "AppInfo.h"
#include "FrmMainLayout.h"
#include "HTMLLink.h"
#include "HandPointer.h"
#include "RecordingUi.h"
#include "frmAbout.h"

#include <QBitmap>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QUrl>

using namespace mirel;

// Stands in for the browser and the mail program: records every address the program opens.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

namespace {

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);
const QColor kRed(255, 0, 0);

// "blue", "purple+u" and so on: a label's look in a word.
QString look(const QLabel* label)
{
    const QColor colour = label->palette().color(QPalette::WindowText);
    QString name = colour == kBlue ? "blue" : colour == kPurple ? "purple" : colour == kRed ? "red" : colour.name();
    return label->font().underline() ? name + "+u" : name;
}

void moveOver(QWidget* widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void clickOn(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
}

}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

    UrlRecorder urls;
    FrmMainLayout* main = nullptr;

    frmAbout* open()
    {
        frmAbout* about = frmAbout::ShowAbout(main);
        if (!QTest::qWaitForWindowExposed(about))
            return nullptr;
        return about;
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler("http", &urls, "open");
        QDesktopServices::setUrlHandler("mailto", &urls, "open");
        main = new FrmMainLayout;
        main->show();
    }

    void cleanup()
    {
        urls.opened.clear();
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<frmAbout*>(top))
                top->close();
        }
        QTest::qWait(1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("mailto");
        delete main;
    }

    void whatItShows()
    {
        frmAbout* about = open();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Mirel"));
        QCOMPARE(about->lblTitle->text(), "Mirel v" + QString::fromStdString(AppVersionText()));
        QVERIFY(about->lblTitle->font().bold());
        QVERIFY(about->lblCopyright->text().contains(QStringLiteral("Copyright")));
        QVERIFY(about->lblDisclaimer->text().contains(QStringLiteral("freeware")));
        QCOMPARE(about->lblCorvane->property("tag").toString(), QStringLiteral("http://www.corvane.example/"));
        QCOMPARE(about->lblMailTo->property("tag").toString(), QStringLiteral("mailto:mirel@corvane.example"));
        QCOMPARE(look(about->lblCorvane), QStringLiteral("blue"));
        QCOMPARE(look(about->lblMailTo), QStringLiteral("blue"));
        QVERIFY(!about->isModal());
        QVERIFY(!about->parentWidget());
        QCOMPARE(about->windowIcon().cacheKey(), main->windowIcon().cacheKey());
    }

    void mouseProtocol()
    {
        frmAbout* about = open();
        QVERIFY(about);
        QLabel* web = about->lblCorvane;
        QLabel* mail = about->lblMailTo;
        auto looks = [&] { return look(web) + " " + look(mail); };

        moveOver(web);
        QCOMPARE(looks(), QStringLiteral("red+u blue"));
        moveOver(mail);  // straight from one link to the other
        QCOMPARE(looks(), QStringLiteral("blue red+u"));
        // Buttons, the icon and plain labels report no movement: the look stays.
        for (QWidget* quiet : std::initializer_list<QWidget*>{about->cmdOK, about->cmdUpdate, about->picIcon,
                                                              about->Label1, about->lblTitle}) {
            moveOver(quiet);
            QCOMPARE(looks(), QStringLiteral("blue red+u"));
        }
        moveOver(about);  // the background
        QCOMPARE(looks(), QStringLiteral("blue blue"));

        clickOn(mail);
        QCOMPARE(urls.opened, QStringList{"mailto:mirel@corvane.example"});
        QCOMPARE(look(mail), QStringLiteral("purple"));
        clickOn(web);
        clickOn(web);
        QCOMPARE(urls.opened.count("http://www.corvane.example/"), 2);
        QCOMPARE(look(web), QStringLiteral("purple"));
        moveOver(web);  // purple lasts until the pointer moves over the label again
        QCOMPARE(looks(), QStringLiteral("red+u blue"));
    }

    void linkActions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("1 keeps the underline") << 1 << "red+u" << "blue+u";
        QTest::newRow("3 plain") << 3 << "red+u" << "blue";
        QTest::newRow("4 hover") << 4 << "blue" << "red+u";
        QTest::newRow("0 nothing") << 0 << "red+u" << "red+u";
        QTest::newRow("5 nothing") << 5 << "blue" << "blue";
        QTest::newRow("-1 nothing") << -1 << "blue" << "blue";
    }
    void linkActions()
    {
        QFETCH(int, action);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QLabel label("link");
        label.setProperty("tag", "http://www.corvane.example/x");
        LinkAction(&label, from.startsWith("red") ? kLinkHover : kLinkPlain, nullptr);
        QCOMPARE(look(&label), from);
        LinkAction(&label, action, nullptr);
        QCOMPARE(look(&label), to);
        QVERIFY(urls.opened.isEmpty());
    }

    void updateButton()
    {
        QCOMPARE(frmAbout::UpdateAddress(), "http://update.corvane.example/update.asp?sid=mirel1&ver=" +
                                                QString::fromStdString(AppVersionText()));
        frmAbout* about = open();
        QVERIFY(about);
        moveOver(about->lblCorvane);
        about->cmdUpdate->click();
        about->cmdUpdate->click();
        QCOMPARE(urls.opened, QStringList(2, frmAbout::UpdateAddress()));
        QCOMPARE(look(about->lblCorvane), QStringLiteral("red+u"));  // no label changes its look
        // Escape is the Update button's key; the window stays open.
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about, Qt::Key_Escape);
        QCOMPARE(urls.opened.size(), 3);
        QVERIFY(about->isVisible());
    }

    // With no program to open an address (the test's handlers gone, and the offscreen platform
    // opens nothing), the user is told the address, to copy it; the window stays as it was.
    void addressesThatCannotOpen()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("mailto");
        const auto restore = qScopeGuard([this] {
            QDesktopServices::setUrlHandler("http", &urls, "open");
            QDesktopServices::setUrlHandler("mailto", &urls, "open");
        });
        test::RecordingUi ui;
        frmAbout* about = open();
        QVERIFY(about);
        clickOn(about->lblMailTo);
        about->cmdUpdate->click();
        QCOMPARE(ui.messages.size(), size_t(2));
        QVERIFY(QString::fromStdString(ui.messages[0].text).contains("\r\nmailto:mirel@corvane.example\r\n"));
        QVERIFY(QString::fromStdString(ui.messages[1].text).contains("\r\n" + frmAbout::UpdateAddress() + "\r\n"));
        QVERIFY(about->isVisible());
    }

    void oneWindowAtATime()
    {
        QPointer<frmAbout> first = open();
        QVERIFY(first);
        moveOver(first->lblMailTo);
        // Opening it again brings it forward without loading it again.
        QCOMPARE(frmAbout::ShowAbout(main), first.data());
        QCOMPARE(look(first->lblMailTo), QStringLiteral("red+u"));

        // OK destroys it; the next opening starts from the layout.
        first->cmdOK->click();
        QTRY_VERIFY(first.isNull());
        frmAbout* second = open();
        QVERIFY(second);
        QCOMPARE(look(second->lblMailTo), QStringLiteral("blue"));
        QCOMPARE(look(second->lblCorvane), QStringLiteral("blue"));
    }

    void tabOrderSkipsLabels()
    {
        QPointer<frmAbout> about = open();
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowActive(about));
        QStringList visited;
        for (int k = 0; k < 4; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"cmdOK", "cmdUpdate", "cmdOK", "cmdUpdate"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(about->cmdOK, Qt::Key_Return);  // OK is the default button
        QTRY_VERIFY(about.isNull());
    }

    void handPointer()
    {
        const QCursor hand = HandPointer();
        QCOMPARE(hand.hotSpot(), QPoint(5, 0));
        QCOMPARE(hand.bitmap().size(), QSize(32, 32));
        // The hot spot is the fingertip: a drawn pixel.
        QCOMPARE(hand.mask().toImage().pixelIndex(5, 0) != hand.mask().toImage().pixelIndex(0, 31), true);

        frmAbout* about = open();
        QVERIFY(about);
        QCOMPARE(about->lblCorvane->cursor().hotSpot(), QPoint(5, 0));
        QCOMPARE(about->lblMailTo->cursor().hotSpot(), QPoint(5, 0));
        QCOMPARE(about->lblMailTo->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(about->Label1->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(about->Label2->cursor().shape(), Qt::ArrowCursor);
    }

    void outlivesTheMainWindow()
    {
        frmAbout* about = open();
        QVERIFY(about);
        main->close();
        QVERIFY(about->isVisible());
        main->show();
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
