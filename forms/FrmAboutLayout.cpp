#include "FrmAboutLayout.h"

#include "AccessibleRoles.h"
#include "FormGeometry.h"
#include "FormImages.h"
#include "HandPointer.h"

#include <QLabel>
#include <QPushButton>

namespace mirel {

namespace {
QLabel* makeLabel(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    label->setTextFormat(Qt::PlainText);
    return label;
}
}  // namespace

FrmAboutLayout::FrmAboutLayout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(Twips(5460), Twips(2070));

    picIcon = makeLabel(this, "picIcon", 240, 240, 480, 480);
    picIcon->setPixmap(ProgramIcon32());
    picIcon->setAccessibleName(tr("Mirel icon"));

    lblDisclaimer = makeLabel(this, "lblDisclaimer", 1050, 1575, 3465, 210);
    lblTitle = makeLabel(this, "lblTitle", 1050, 240, 2805, 240);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    const QString black = QStringLiteral("color: black;");
    lblDisclaimer->setStyleSheet(black);
    lblTitle->setStyleSheet(black);
    lblCopyright = makeLabel(this, "lblCopyright", 1050, 525, 2820, 195);
    lblMailTo = makeLabel(this, "lblMailTo", 1590, 1125, 1650, 195);
    lblCorvane = makeLabel(this, "lblCorvane", 1605, 870, 1065, 195);
    lblCorvane->setCursor(HandPointer());
    PresentAsLink(lblMailTo);
    PresentAsLink(lblCorvane);
    Label1 = makeLabel(this, "Label1", 1050, 1125, 450, 195);
    Label1->setText(tr("e-mail:"));
    Label2 = makeLabel(this, "Label2", 1155, 855, 345, 195);
    Label2->setText(tr("web:"));
    // The captions end where the links begin: their right edges line up.
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* label : {lblCopyright, lblMailTo, lblCorvane, Label1, Label2})
        SizeToText(label);

    cmdUpdate = new QPushButton(tr("Update"), this);
    cmdUpdate->setObjectName(QStringLiteral("cmdUpdate"));
    cmdUpdate->setGeometry(Twips(4080), Twips(540), Twips(1260), Twips(345));
    cmdUpdate->setAutoDefault(false);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Twips(4080), Twips(120), Twips(1260), Twips(345));
    cmdOK->setDefault(true);

    setTabOrder(cmdUpdate, cmdOK);
}

}  // namespace mirel
