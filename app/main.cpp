#include "AppInfo.h"
#include "QtUi.h"
#include "frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kExitNoDisplay = 1;

constexpr char kHelp[] =
    "Usage: mirel [PICTURE] | --help | --version\n"
    "\n"
    "Mirel's desktop program: hides a message or a file in the lowest bits of a picture's pixels\n"
    "(BMP, PNG, JPEG, ...; the new picture is a BMP or a PNG), and gets it back, from its window.\n"
    "With a PICTURE, it opens with the decode dialog showing that picture. It needs a display;\n"
    "mirel-cli does the same from the command line, also without one.\n"
    "\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Qt's own options, such as -platform NAME, are passed on to Qt.\n";

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt aborts when it finds no display to open a window on, so look first: an X or Wayland
// display, or a platform that the user names (QT_QPA_PLATFORM, -platform).
bool displayToTry(int argc, char** argv)
{
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "-platform" || arg == "--platform")
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("mirel %s\n", mirel::AppVersionText().c_str());
            return 0;
        }
    }
    if (!displayToTry(argc, argv)) {
        std::fputs("mirel: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "mirel-cli works without one.\n",
                   stderr);
        return kExitNoDisplay;
    }

    QApplication app(argc, argv);
    // The desktop entry the windows belong to: a Wayland compositor takes the icon and the name it
    // shows for them from there.
    QGuiApplication::setDesktopFileName(QStringLiteral("mirel"));
    mirel::frmMain window;
    mirel::QtUi services;
    mirel::InstallUi(&services);
    window.show();
    // A picture to open (a file manager's "Open with"): offered for decoding.
    if (const QStringList args = QApplication::arguments(); args.size() > 1)
        window.OfferToDecode(args.at(1));
    const int status = QApplication::exec();
    mirel::InstallUi(nullptr);
    return status;
}
