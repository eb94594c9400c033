#include "HTMLLink.h"

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
        QDesktopServices::openUrl(QUrl(label->property("tag").toString(), QUrl::TolerantMode));
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

}  // namespace mirel
