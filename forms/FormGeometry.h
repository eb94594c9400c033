#pragma once

class QLabel;
class QWidget;

namespace mirel {

// Marks label as sized to its text: FitToText gives it the size of its text, no more, no less.
void SizeToText(QLabel* label);

// Makes room for the texts of the labels, push buttons and one-line text boxes that area holds
// (its own children), in their fonts as they are, keeping the layout's positions as far as the
// texts allow:
// - a control whose text does not fit grows just enough, to the right and down (a text box only
//   down); a label aligned to the right grows to the left instead, as far as its row leaves room;
// - a label marked sized to its text gets exactly the size of its text;
// - a control that another one now reaches moves right (when it stood beside it) or down (when
//   it stood below it), keeping the gap it had, or a small one when that was wider; controls
//   whose left, right or top edges lined up still do;
// - area grows when its controls would leave it, keeping its margins at the right and bottom.
// Call it once the texts are set and before the window is first shown.
void FitToText(QWidget* area);

// Places window, before it is first shown, so that its frame is centred on owner's frame, then
// moves it as little as needed to lie wholly on owner's screen (its top left corner on the
// screen when it is larger). The frame is taken to be as wide as owner's.
void CentreOn(QWidget* window, const QWidget* owner);

}  // namespace mirel
