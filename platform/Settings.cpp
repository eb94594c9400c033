#include "Settings.h"

namespace mirel {

std::u16string gPassword;
int32_t gOffset = 0;

}  // namespace mirel
