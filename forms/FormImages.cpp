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
    // Every size the icon theme gets, so that task bars and switchers showing 48 pixels or more
    // need not blow up the 32-pixel picture.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/mirel/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap ProgramIcon32()
{
    initFormResources();
    return QPixmap(QStringLiteral(":/mirel/icon-32.png"));
}

}  // namespace mirel
