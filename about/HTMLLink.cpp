#include "HTMLLink.h"

#include "AccessibleRoles.h"
#include "MessageBoxes.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

namespace mirel {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);
const QColor kRed(255, 0, 0);

void setColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void setUnderline(QLabel* label, bool on)
{
    QFont font = label->font();
    font.setUnderline(on);
    label->setFont(font);
}

}  // namespace

void LinkAction(QLabel* label, int32_t action, QWidget* /*owner*/)
{
    switch (action) {
    case kLinkUnvisited:
        setColour(label, kBlue);
        break;
    case kLinkOpen:
        OpenAddress(label->property(kLinkTargetProperty).toString());
        setColour(label, kPurple);
        break;
    case kLinkPlain:
        setUnderline(label, false);
        setColour(label, kBlue);
        break;
    case kLinkHover:
        setColour(label, kRed);
        setUnderline(label, true);
        break;
    default:
        break;
    }
}

void OpenAddress(const QString& address)
{
    if (QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode)))
        return;
    MsgBox("No program could be started to open this address:\r\n\r\n" + address.toStdString() +
               "\r\n\r\nSelect it to copy it.",
           MsgIcon::Information);
}

}  // namespace mirel
