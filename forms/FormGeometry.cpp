#include "FormGeometry.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace mirel {

void CentreOn(QWidget* window, const QWidget* owner)
{
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerInside = owner->geometry();
    const QMargins frameMargins(ownerInside.left() - ownerFrame.left(), ownerInside.top() - ownerFrame.top(),
                                ownerFrame.right() - ownerInside.right(),
                                ownerFrame.bottom() - ownerInside.bottom());
    QRect frame(QPoint(0, 0), window->size().grownBy(frameMargins));
    frame.moveCenter(ownerFrame.center());
    if (const QScreen* screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width())));
        frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height())));
    }
    // A window's position is that of its frame.
    window->move(frame.topLeft());
}

}  // namespace mirel
