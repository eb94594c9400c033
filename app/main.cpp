#include "QtUi.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    mirel::frmMain window;
    mirel::QtUi services(&window);
    mirel::InstallUi(&services);
    window.show();
    const int status = QApplication::exec();
    mirel::InstallUi(nullptr);
    return status;
}
