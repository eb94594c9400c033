#pragma once

class QWidget;

namespace mirel {

// Places window, before it is first shown, so that its frame is centred on owner's frame, then
// moves it as little as needed to lie wholly on owner's screen (its top left corner on the
// screen when it is larger). The frame is taken to be as wide as owner's.
void CentreOn(QWidget* window, const QWidget* owner);

}  // namespace mirel
