#pragma once

#include <QCursor>
#include <QPoint>

namespace mirel {

// The hand pointer of the link labels: a 32 x 32 two-colour hand with the index finger up,
// black outline and white fill, its hot spot at the fingertip.
inline constexpr QPoint kHandHotSpot{5, 0};
QCursor HandPointer();

}  // namespace mirel
