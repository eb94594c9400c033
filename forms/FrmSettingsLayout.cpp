#include "FrmSettingsLayout.h"

#include "FormGeometry.h"
#include "FormImages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mirel {

FrmSettingsLayout::FrmSettingsLayout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(tr("Password"));
    setFixedSize(Twips(2730), Twips(780));

    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setGeometry(Twips(30), Twips(60), Twips(2655), Twips(285));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    // The window's title names the box on screen; a screen reader needs it on the box itself.
    txtPassword->setAccessibleName(tr("Password"));

    lblOffset = new QLabel(tr("Offset:"), this);
    lblOffset->setObjectName(QStringLiteral("lblOffset"));
    lblOffset->setGeometry(Twips(60), Twips(480), Twips(495), Twips(255));
    lblOffset->hide();

    txtOffset = new QLineEdit(QStringLiteral("0"), this);
    txtOffset->setObjectName(QStringLiteral("txtOffset"));
    txtOffset->setGeometry(Twips(600), Twips(420), Twips(1035), Twips(285));
    txtOffset->hide();
    txtOffset->setAccessibleName(tr("Offset"));
    lblOffset->setBuddy(txtOffset);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Twips(1860), Twips(420), Twips(795), Twips(315));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    setTabOrder(txtPassword, txtOffset);
    setTabOrder(txtOffset, cmdOK);
    txtPassword->setFocus();
    FitToText(this);
}

}  // namespace mirel
