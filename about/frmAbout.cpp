#include "frmAbout.h"

#include "AccessibleRoles.h"
#include "AppInfo.h"
#include "FormGeometry.h"
#include "HTMLLink.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

namespace mirel {

namespace {

const char* const kUpdateHost = "update.corvane.example";
const char* const kProductId = "mirel1";
const char* const kSiteName = "corvane.example";
const char* const kSiteAddress = "http://www.corvane.example/";
const char* const kMailAddress = "mirel@corvane.example";

QPointer<frmAbout> gAboutWindow;

}  // namespace

frmAbout::frmAbout(const QWidget* iconSource) : FrmAboutLayout(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    // Load step.
    if (iconSource)
        setWindowIcon(iconSource->windowIcon());
    const QString title = QString::fromUtf8(AppTitle());
    setWindowTitle(QStringLiteral("About ") + title);
    lblTitle->setText(title + QStringLiteral(" v") + QString::fromStdString(AppVersionText()));
    lblCopyright->setText(QStringLiteral("Copyright \u00a9 2026 Corvane"));
    lblDisclaimer->setText(QStringLiteral("This program is freeware."));
    lblCorvane->setText(QString::fromLatin1(kSiteName));
    lblCorvane->setProperty(kLinkTargetProperty, QString::fromLatin1(kSiteAddress));
    lblMailTo->setText(QString::fromLatin1(kMailAddress));
    lblMailTo->setProperty(kLinkTargetProperty, QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress));
    FitToText(this);
    lblMailTo->setCursor(lblCorvane->cursor());
    LinkAction(lblCorvane, kLinkUnvisited, this);
    LinkAction(lblMailTo, kLinkUnvisited, this);

    // Only the background and the two links report the pointer's movement.
    setMouseTracking(true);
    for (QLabel* link : {lblCorvane, lblMailTo}) {
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    for (QWidget* quiet : std::initializer_list<QWidget*>{picIcon, lblDisclaimer, lblTitle, lblCopyright, Label1,
                                                          Label2, cmdUpdate, cmdOK})
        quiet->setAttribute(Qt::WA_NoMousePropagation);

    // The first control in the tab order that takes the focus has it when the window opens.
    cmdUpdate->setFocus();

    // A link opened through the accessibility tree (its Press action) does what a click on it
    // does. Queued, so that the action returns to the screen reader at once, also when a message
    // box then says that no program could open the address.
    for (QLabel* link : {lblCorvane, lblMailTo}) {
        const auto open = [this, link] { LinkAction(link, kLinkOpen, this); };
        connect(link, &QLabel::linkActivated, this, open, Qt::QueuedConnection);
    }

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmAbout::cmdUpdate_Click);
}

frmAbout* frmAbout::ShowAbout(QWidget* mainWindow)
{
    if (!gAboutWindow) {
        gAboutWindow = new frmAbout(mainWindow);
        // Not owned by the main window, but opened where the user looks: centred on it, and
        // wholly on its screen.
        if (mainWindow)
            CentreOn(gAboutWindow, mainWindow);
    }
    gAboutWindow->show();
    gAboutWindow->raise();
    gAboutWindow->activateWindow();
    return gAboutWindow;
}

QString frmAbout::UpdateAddress()
{
    return QStringLiteral("http://") + QString::fromLatin1(kUpdateHost) + QStringLiteral("/update.asp?sid=") +
           QString::fromLatin1(kProductId) + QStringLiteral("&ver=") + QString::fromStdString(AppVersionText());
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == lblMailTo) {
            LinkAction(lblCorvane, kLinkPlain, this);
            LinkAction(lblMailTo, kLinkHover, this);
            return true;
        }
        if (watched == lblCorvane) {
            LinkAction(lblMailTo, kLinkPlain, this);
            LinkAction(lblCorvane, kLinkHover, this);
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == lblMailTo || watched == lblCorvane) {
            LinkAction(static_cast<QLabel*>(watched), kLinkOpen, this);
            return true;
        }
    }
    return FrmAboutLayout::eventFilter(watched, event);
}

void frmAbout::mouseMoveEvent(QMouseEvent* event)
{
    LinkAction(lblCorvane, kLinkPlain, this);
    LinkAction(lblMailTo, kLinkPlain, this);
    FrmAboutLayout::mouseMoveEvent(event);
}

void frmAbout::keyPressEvent(QKeyEvent* event)
{
    // Escape is the Update button's key here, not a way to close the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdUpdate->click();
        return;
    }
    FrmAboutLayout::keyPressEvent(event);
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdUpdate_Click()
{
    OpenAddress(UpdateAddress());
}

}  // namespace mirel
