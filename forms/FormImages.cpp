#include "FormImages.h"

// Resources of a static library must be registered by hand.
static void initFormResources()
{
    Q_INIT_RESOURCE(forms);
}

namespace mirel {

QIcon ProgramIcon()
{
    initFormResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/mirel/icon-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/mirel/icon-32.png"), QSize(32, 32));
    return icon;
}

QPixmap ProgramIcon32()
{
    initFormResources();
    return QPixmap(QStringLiteral(":/mirel/icon-32.png"));
}

}  // namespace mirel
