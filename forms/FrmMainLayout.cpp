#include "FrmMainLayout.h"

#include "AccessibleRoles.h"
#include "AppInfo.h"
#include "FormGeometry.h"
#include "FormImages.h"
#include "MessageTextBox.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

namespace mirel {

FrmMainLayout::FrmMainLayout(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(AppTitle()));
    setWindowIcon(ProgramIcon());

    auto* client = new QWidget(this);
    client->setFixedSize(Twips(4095), Twips(2250));
    setCentralWidget(client);

    lblStatus = new QLabel(client);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(Twips(30), Twips(1980), Twips(4035), Twips(255));
    lblStatus->setFrameShape(QFrame::StyledPanel);
    lblStatus->setFrameShadow(QFrame::Sunken);
    lblStatus->setTextFormat(Qt::PlainText);
    PresentAsStatusLine(lblStatus);

    txtMsg = new MessageTextBox(client);
    txtMsg->setObjectName(QStringLiteral("txtMsg"));
    txtMsg->setGeometry(Twips(30), Twips(30), Twips(4035), Twips(1905));
    txtMsg->setTabChangesFocus(false);
    txtMsg->setAccessibleName(tr("Message"));
    txtMsg->setFocus();

    mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    addItem(mnuFile, mnuFileItem, 0, tr("&Encode Message in Picture"), QKeySequence(Qt::CTRL | Qt::Key_E),
            &FrmMainLayout::mnuFileItemClicked);
    addItem(mnuFile, mnuFileItem, 1, tr("Encode &File in Picture"), QKeySequence(Qt::CTRL | Qt::Key_F),
            &FrmMainLayout::mnuFileItemClicked);
    addItem(mnuFile, mnuFileItem, 2, tr("&Decode Picture"), QKeySequence(Qt::CTRL | Qt::Key_D),
            &FrmMainLayout::mnuFileItemClicked);
    QAction* separator = mnuFile->addSeparator();
    separator->setObjectName(QStringLiteral("mnuFileItem9"));
    mnuFileItem.insert(9, separator);
    addItem(mnuFile, mnuFileItem, 10, tr("E&xit"), {}, &FrmMainLayout::mnuFileItemClicked);

    mnuTools = menuBar()->addMenu(tr("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    addItem(mnuTools, mnuToolsItem, 0, tr("&Message Size"), QKeySequence(Qt::Key_F1),
            &FrmMainLayout::mnuToolsItemClicked);
    addItem(mnuTools, mnuToolsItem, 1, tr("&Clear Memory"), QKeySequence(Qt::Key_F2),
            &FrmMainLayout::mnuToolsItemClicked);
    addItem(mnuTools, mnuToolsItem, 2, tr("Message &Offsets"), QKeySequence(Qt::Key_F3),
            &FrmMainLayout::mnuToolsItemClicked);
    addItem(mnuTools, mnuToolsItem, 3, tr("Strong Encryption"), {}, &FrmMainLayout::mnuToolsItemClicked)
        ->setCheckable(true);

    mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    addItem(mnuHelp, mnuHelpItem, 0, tr("&About Mirel..."), {}, &FrmMainLayout::mnuHelpItemClicked);

    // A menu is named by its caption, as its item in the menu bar is.
    for (QMenu* menu : {mnuFile, mnuTools, mnuHelp})
        menu->setAccessibleName(QString(menu->title()).remove(u'&'));

    setTabOrder(txtMsg, txtMsg);
    FitToText(client);
    // Neither maximized nor resized: the frame keeps the size of its contents.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QAction* FrmMainLayout::addItem(QMenu* menu, QMap<int, QAction*>& family, int index, const QString& caption,
                                const QKeySequence& shortcut, void (FrmMainLayout::*signal)(int))
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(menu->objectName() + QStringLiteral("Item") + QString::number(index));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, signal, index] { (this->*signal)(index); });
    family.insert(index, action);
    return action;
}

void FrmMainLayout::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Centred on the screen the first time it is shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace mirel
