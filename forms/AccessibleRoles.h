#pragma once

class QLabel;

namespace mirel {

// What screen readers and other assistive technologies find in the accessibility tree for the
// two kinds of label whose part in a window the toolkit cannot tell from the widget: the status
// line and the links. The label looks and behaves on screen as before; only its accessible role,
// name, description and actions change. Call these right after creating the label, before its
// window is first shown.

// The property in which a link label keeps its target address (a URL), apart from its text.
inline constexpr char kLinkTargetProperty[] = "tag";

// Presents label as a status line: role status bar, named by its text without the blanks around
// it, or "Status" while it shows nothing. Every new text is announced as a change of that name.
void PresentAsStatusLine(QLabel* label);

// Presents label as a link: role link, named by its text, described by its target address. Its
// one action, Press, emits the label's linkActivated signal with that address, as a click on a
// link in a label does; the window connects it to what a click on the label does.
void PresentAsLink(QLabel* label);

}  // namespace mirel
