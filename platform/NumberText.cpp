#include "NumberText.h"

#include <QLocale>
#include <QString>

namespace mirel {

std::string FormatNumber(int64_t value)
{
    return QLocale().toString(static_cast<qlonglong>(value)).toStdString();
}

}  // namespace mirel
