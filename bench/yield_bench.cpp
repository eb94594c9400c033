// mirel-bench-yield CARRIER PAYLOAD OUTPUT [RUNS]
// Times EncodePicture on CARRIER with the desktop program's yield (one round of the Qt event
// loop per row, the main window shown) against the console yield, alternating, and prints the
// median milliseconds of each and their ratio.
#include "CipherMirel.h"
#include "CodecCalls.h"
#include "ConsoleUi.h"
#include "QtUi.h"
#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double encodeMs(const std::string& carrier, const std::string& payload, const std::string& output)
{
    mirel::gAbort = false;
    int32_t offset = 0;
    QElapsedTimer timer;
    timer.start();
    const int32_t result = mirel::EncodePicture(carrier, output, payload, mirel::kKindFile, offset);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    return result == 0 ? ms : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: mirel-bench-yield CARRIER PAYLOAD OUTPUT [RUNS]\n");
        return 64;
    }
    const std::string carrier = argv[1];
    QFile payloadFile(QString::fromLocal8Bit(argv[2]));
    if (!payloadFile.open(QIODevice::ReadOnly))
        return 2;
    const std::string payload = payloadFile.readAll().toStdString();
    const std::string output = argv[3];
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;

    mirel::frmMain window;
    window.show();
    mirel::QtUi desktop;
    mirel::ConsoleUi console;

    std::vector<double> desktopMs;
    std::vector<double> consoleMs;
    for (int k = 0; k <= runs; ++k) {  // the first round warms the caches and is not counted
        mirel::InstallUi(&desktop);
        const double d = encodeMs(carrier, payload, output);
        mirel::InstallUi(&console);
        const double c = encodeMs(carrier, payload, output);
        if (d < 0 || c < 0)
            return 2;
        if (k > 0) {
            desktopMs.push_back(d);
            consoleMs.push_back(c);
        }
    }
    mirel::InstallUi(nullptr);
    const double d = median(desktopMs);
    const double c = median(consoleMs);
    std::printf("desktop_ms %.1f\nconsole_ms %.1f\nratio %.2f\n", d, c, d / c);
    return 0;
}
