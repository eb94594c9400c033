#include "FormGeometry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace mirel {

namespace {

const char* const kSizedToText = "mirelSizedToText";
// The gaps that keep the texts of neighbours apart: side by side, and one above the other. A
// move keeps a narrower gap where the layout had one.
constexpr int kGapBeside = 4;
constexpr int kGapBelow = 0;
// Edges this close count as lined up.
constexpr int kLinedUp = 1;
// Enough rounds of moving for any layout of a few controls to settle.
constexpr int kMaxRounds = 100;

struct Control {
    QWidget* widget;
    QRect laidOut;  // where the layout put it
    QRect now;
    bool alignedRight;
};

bool shareRows(const QRect& a, const QRect& b)
{
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

bool shareColumns(const QRect& a, const QRect& b)
{
    return a.left() <= b.right() && b.left() <= a.right();
}

bool linedUp(int a, int b)
{
    return std::abs(a - b) <= kLinedUp;
}

// The gap between an edge and the next control's edge that a move keeps.
int keptGap(int end, int nextStart, int gap)
{
    return std::clamp(nextStart - end - 1, 0, gap);
}

// The size that shows the control's whole text (for a text box, a line of it); invalid for a
// control that shows no text.
QSize textNeed(QWidget* control)
{
    control->ensurePolished();
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (!label->pixmap().isNull())
            return {};
        return label->sizeHint();  // the text with the label's frame, margin and indent
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        const QRect inside = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return button->fontMetrics().size(Qt::TextShowMnemonic, button->text()) + (button->size() - inside.size());
    }
    if (auto* box = qobject_cast<QLineEdit*>(control)) {
        // A line of text inside the frame; how wide is the layout's business.
        const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
        return QSize(box->width(), box->fontMetrics().height() + 2 * frame);
    }
    return {};
}

// Moves controls so that edges that lined up in the layout still do: each moves at least as far
// as the others in its line. True when one moved.
bool keepLinedUp(std::vector<Control>& controls)
{
    bool moved = false;
    for (Control& a : controls) {
        for (const Control& b : controls) {
            const QPoint movedA = a.now.topLeft() - a.laidOut.topLeft();
            const QPoint movedB = b.now.topLeft() - b.laidOut.topLeft();
            if (!a.alignedRight && !b.alignedRight && linedUp(a.laidOut.left(), b.laidOut.left()) &&
                movedA.x() < movedB.x()) {
                a.now.moveLeft(a.laidOut.left() + movedB.x());
                moved = true;
            }
            const int shiftedA = a.now.right() - a.laidOut.right();
            const int shiftedB = b.now.right() - b.laidOut.right();
            if (a.alignedRight && b.alignedRight && linedUp(a.laidOut.right(), b.laidOut.right()) &&
                shiftedA < shiftedB) {
                a.now.moveRight(a.laidOut.right() + shiftedB);
                moved = true;
            }
            if (linedUp(a.laidOut.top(), b.laidOut.top()) && movedA.y() < movedB.y()) {
                a.now.moveTop(a.laidOut.top() + movedB.y());
                moved = true;
            }
        }
    }
    return moved;
}

// Moves the controls that others now reach right or down. True when one moved.
bool pushApart(std::vector<Control>& controls)
{
    bool moved = false;
    for (const Control& a : controls) {
        for (Control& b : controls) {
            if (&a == &b)
                continue;
            if (b.laidOut.left() > a.laidOut.right() && shareRows(a.now, b.now)) {
                const int least = a.now.right() + 1 + keptGap(a.laidOut.right(), b.laidOut.left(), kGapBeside);
                if (b.now.left() < least) {
                    b.now.moveLeft(least);
                    moved = true;
                }
            } else if (b.laidOut.top() > a.laidOut.bottom() && shareColumns(a.now, b.now)) {
                const int least = a.now.bottom() + 1 + keptGap(a.laidOut.bottom(), b.laidOut.top(), kGapBelow);
                if (b.now.top() < least) {
                    b.now.moveTop(least);
                    moved = true;
                }
            }
        }
    }
    return moved;
}

}  // namespace

void SizeToText(QLabel* label)
{
    label->setProperty(kSizedToText, true);
}

void FitToText(QWidget* area)
{
    std::vector<Control> controls;
    for (QWidget* child : area->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        const auto* label = qobject_cast<QLabel*>(child);
        controls.push_back({child, child->geometry(), child->geometry(),
                            label && (label->alignment() & Qt::AlignRight)});
    }
    if (controls.empty())
        return;
    int leftMargin = area->width();
    int used = 0;
    int usedHeight = 0;
    for (const Control& c : controls) {
        leftMargin = std::min(leftMargin, c.laidOut.left());
        used = std::max(used, c.laidOut.right() + 1);
        usedHeight = std::max(usedHeight, c.laidOut.bottom() + 1);
    }
    const int rightMargin = std::max(0, area->width() - used);
    const int bottomMargin = std::max(0, area->height() - usedHeight);

    for (Control& c : controls) {
        const QSize need = textNeed(c.widget);
        if (!need.isValid())
            continue;
        const bool exact = c.widget->property(kSizedToText).toBool();
        const int width = exact ? need.width() : std::max(c.laidOut.width(), need.width());
        const int height = exact ? need.height() : std::max(c.laidOut.height(), need.height());
        int left = c.laidOut.left();
        if (c.alignedRight) {
            // Keep the right edge, unless that would reach the control before it on its row or
            // the window's margin.
            int leftmost = leftMargin;
            const QRect row(c.laidOut.left(), c.laidOut.top(), c.laidOut.width(), height);
            for (const Control& other : controls) {
                if (other.laidOut.right() < c.laidOut.left() && shareRows(other.laidOut, row))
                    leftmost = std::max(leftmost, other.laidOut.right() + 1 +
                                                      keptGap(other.laidOut.right(), c.laidOut.left(), kGapBeside));
            }
            left = std::max(leftmost, c.laidOut.right() + 1 - width);
        }
        c.now = QRect(left, c.laidOut.top(), width, height);
    }

    for (int round = 0; round < kMaxRounds; ++round) {
        const bool pushed = pushApart(controls);
        const bool lined = keepLinedUp(controls);
        if (!pushed && !lined)
            break;
    }

    int right = 0;
    int bottom = 0;
    for (const Control& c : controls) {
        c.widget->setGeometry(c.now);
        right = std::max(right, c.now.right() + 1);
        bottom = std::max(bottom, c.now.bottom() + 1);
    }
    const QSize size(std::max(area->width(), right + rightMargin), std::max(area->height(), bottom + bottomMargin));
    if (size != area->size())
        area->setFixedSize(size);
}

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
