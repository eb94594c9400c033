#pragma once

#include <cstdint>

class QLabel;
class QString;
class QWidget;

namespace mirel {

// Looks and actions of a link label, whose target URL is kept in its property
// kLinkTargetProperty ("tag").
enum LinkActionCode : int32_t {
    kLinkUnvisited = 1,  // blue; underline unchanged
    kLinkOpen = 2,       // opens the tag's target, then purple; underline unchanged
    kLinkPlain = 3,      // underline off, blue
    kLinkHover = 4,      // red, underline on
};

// Applies one action to label. owner is the window that holds it. Opening hands the tag
// unchanged to OpenAddress. Any action code other than 1 to 4 does nothing.
void LinkAction(QLabel* label, int32_t action, QWidget* owner);

// Hands address unchanged to the desktop's handler for its scheme (the browser, the mail
// program). When none can be started, a message shows the address, so that the user can copy it.
void OpenAddress(const QString& address);

}  // namespace mirel
