#include "cDialog.h"

namespace mirel {

QString cDialog::DefaultFilter()
{
    return QStringLiteral("All Files") + QChar(0) + QStringLiteral("*.*");
}

}  // namespace mirel
