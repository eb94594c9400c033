#include "AppInfo.h"
#include "BmpBuilder.h"
#include "TestFiles.h"
#include "CipherMirel.h"
#include "RecordingUi.h"
#include "VBEncrypt.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace mirel;
using mirel::test::at;
using mirel::test::readFile;
using mirel::test::writeFile;

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QString err;
};



Result cli(const QStringList& args, const QByteArray& input = {}, const QString& folder = test::WorkDir())
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(MIREL_CLI_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return {};
    Result r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}



QByteArray carrierBytes(int width, int height, uint32_t seed = 5)
{
    test::BmpShape shape = test::ShapeOf(width, height);
    shape.seed = seed;
    return QByteArray::fromStdString(test::MakeBmp(shape));
}

QByteArray allBytes()
{
    QByteArray b;
    for (int k = 0; k < 256; ++k)
        b += char(k);
    return b + b;
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        writeFile(at("carrier.bmp"), carrierBytes(120, 40));
    }

    void messageRoundTrips_data()
    {
        QTest::addColumn<QStringList>("encodeExtra");
        QTest::addColumn<QStringList>("decodeExtra");
        QTest::newRow("plain") << QStringList() << QStringList();
        QTest::newRow("password") << QStringList{"--password", "s3cret"} << QStringList{"--password", "s3cret"};
        QTest::newRow("offset") << QStringList{"--offset", "&H20"} << QStringList{"--offset", "32"};
        QTest::newRow("both, = form") << QStringList{"--password=pw", "--offset=1e2"}
                                      << QStringList{"--password=pw", "--offset", "100"};
    }
    void messageRoundTrips()
    {
        QFETCH(QStringList, encodeExtra);
        QFETCH(QStringList, decodeExtra);
        const QString message = QString::fromUtf8("Grüße, € and a line\r\nbreak");
        Result r = cli(QStringList{"encode", "carrier.bmp", "m.bmp", "--message", message} + encodeExtra);
        QCOMPARE(r.exitCode, 0);
        r = cli(QStringList{"decode", "m.bmp", "--quiet"} + decodeExtra);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out), message);
        QVERIFY(!r.err.contains("does not look like text"));
    }

    void bytesAndFilesRoundTripUnchanged()
    {
        writeFile(at("bytes.bin"), allBytes());
        QCOMPARE(cli({"encode", "carrier.bmp", "b.bmp", "--message-file", "bytes.bin", "--password", "k"}).exitCode, 0);
        QCOMPARE(cli({"decode", "b.bmp", "--password", "k", "--output", "b.out"}).exitCode, 0);
        QCOMPARE(readFile(at("b.out")), allBytes());

        QDir().mkpath(at("from"));
        QDir().mkpath(at("to"));
        writeFile(at("from/data.bin"), allBytes());
        QCOMPARE(cli({"encode", "carrier.bmp", "f.bmp", "--file", "from/data.bin", "--offset", "7"}).exitCode, 0);
        const Result r = cli({"decode", "../f.bmp", "--offset", "7"}, {}, at("to"));
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("data.bin"));
        QCOMPARE(readFile(at("to/data.bin")), allBytes());
        // Into a folder given with --output.
        QCOMPARE(cli({"decode", "f.bmp", "--offset", "7", "--output", "from"}).exitCode, 1);  // exists
        QCOMPARE(cli({"decode", "f.bmp", "--offset", "7", "--output", "from", "--force"}).exitCode, 0);
    }

    void pictureMatchesTheLibraryByteForByte()
    {
        QCOMPARE(cli({"encode", "carrier.bmp", "cli.bmp", "--message", "same bytes", "--password",
                      "pw", "--offset", "3"}).exitCode, 0);
        test::RecordingUi ui;
        int32_t offset = 3;
        const std::string payload = CryptString("same bytes", "pw");
        QCOMPARE(EncodePicture(at("carrier.bmp").toStdString(), at("lib.bmp").toStdString(), payload,
                               kKindMessage, offset), 0);
        QCOMPARE(readFile(at("cli.bmp")), readFile(at("lib.bmp")));
    }

    void passwordFromFileOrStandardInput()
    {
        QCOMPARE(cli({"encode", "carrier.bmp", "p.bmp", "--message", "hidden", "--password", "from stdin"}).exitCode, 0);
        Result r = cli({"decode", "p.bmp", "--password-file", "-"}, "from stdin\nsecond line\n");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("hidden"));
        writeFile(at("pw.txt"), "from stdin\r\nignored");
        r = cli({"decode", "p.bmp", "--password-file", "pw.txt"});
        QCOMPARE(r.out, QByteArray("hidden"));
        // A wrong password garbles without an error.
        r = cli({"decode", "p.bmp", "--password", "wrong"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.size() >= 6, true);
        QVERIFY(r.out != QByteArray("hidden"));
    }

    void encodeChecksWhatItWrote()
    {
        // A null device of our own takes the picture and gives nothing back.
        const QString node = at("null-device");
        if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node here");
        const Result r = cli({"encode", "carrier.bmp", "null-device", "--message", "lost"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("Checking null-device failed"), qPrintable(r.err));
    }

    void garbledMessagesAreNoted()
    {
        QCOMPARE(cli({"encode", "carrier.bmp", "g.bmp", "--message", "An ordinary sentence of plain text.",
                      "--password", "right"}).exitCode, 0);
        Result r = cli({"decode", "g.bmp", "--password", "right"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.err.contains("does not look like text"));
        r = cli({"decode", "g.bmp", "--password", "wrong"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("does not look like text"), qPrintable(r.err));
        r = cli({"decode", "g.bmp", "--password", "wrong", "--output", "garbled.bin"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("does not look like text"));
    }

    void storedNamesLoseTheirFolders()
    {
        // A picture made elsewhere may carry any name: only its last component is used.
        const std::string name = "../..\\sub/evil.txt";
        const std::string content = std::string(1, char(name.size())) + name + "payload";
        test::RecordingUi ui;
        int32_t offset = 0;
        QCOMPARE(EncodePicture(at("carrier.bmp").toStdString(), at("evil.bmp").toStdString(), content,
                               kKindFile, offset), 0);
        QDir().mkpath(at("inbox"));
        QCOMPARE(cli({"decode", "../evil.bmp"}, {}, at("inbox")).exitCode, 0);
        QCOMPARE(readFile(at("inbox/evil.txt")), QByteArray("payload"));
        QCOMPARE(QDir(at("inbox")).entryList(QDir::Files), QStringList{"evil.txt"});

        const std::string nameless = std::string(1, '\0') + "data";
        QCOMPARE(EncodePicture(at("carrier.bmp").toStdString(), at("nameless.bmp").toStdString(),
                               nameless, kKindFile, offset), 0);
        Result r = cli({"decode", "nameless.bmp"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("--output"));
        QCOMPARE(cli({"decode", "nameless.bmp", "--output", "named.bin"}).exitCode, 0);
        QCOMPARE(readFile(at("named.bin")), QByteArray("data"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a bitmap") << QStringList{"encode", "text.txt", "o.bmp", "--message", "x"} << 1
                                      << "Bitmap doesn't appear to be in Windows format.";
        QTest::newRow("decode not a bitmap") << QStringList{"decode", "text.txt"} << 1
                                             << "Bitmap doesn't appear to be in Windows format.";
        QTest::newRow("does not fit") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message-file", "big.bin"} << 1
                                      << "Due to size of picture, message cannot exceed 1,596 bytes";
        QTest::newRow("offset too large") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x", "--offset", "1e10"}
                                          << 1 << "too large";
        QTest::newRow("negative offset") << QStringList{"decode", "carrier.bmp", "--offset", "-5"} << 1
                                         << "The offset must be 0 or more.";
        QTest::newRow("output exists") << QStringList{"decode", "m2.bmp", "--output", "text.txt"} << 1 << "--force";
        QTest::newRow("missing file to hide") << QStringList{"encode", "carrier.bmp", "o.bmp", "--file", "nope"} << 2
                                              << "nope";
        QTest::newRow("missing picture") << QStringList{"decode", "nothing.bmp"} << 1 << "File not found";
        QTest::newRow("file beyond 32 bits") << QStringList{"encode", "carrier.bmp", "o.bmp", "--file", "huge.bin"} << 1
                                             << "too large";
        QTest::newRow("truncated picture") << QStringList{"decode", "cut.bmp", "--offset", "1000"} << 2 << "Decoding Error #62";
        QTest::newRow("no command") << QStringList{} << 64 << "no command";
        QTest::newRow("unknown option") << QStringList{"info", "carrier.bmp", "--frobnicate"} << 64 << "unknown option";
        QTest::newRow("two sources") << QStringList{"encode", "a", "b", "--message", "x", "--file", "y"} << 64 << "only one";
        QTest::newRow("missing value") << QStringList{"decode", "carrier.bmp", "--offset"} << 64 << "needs a value";
        QTest::newRow("no payload") << QStringList{"encode", "carrier.bmp", "o.bmp"} << 64 << "needs --message";
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        writeFile(at("text.txt"), "plain text, not a picture");
        writeFile(at("big.bin"), QByteArray(1597, 'z'));
        writeFile(at("cut.bmp"), carrierBytes(120, 40).left(54 + 360 * 3));
        QCOMPARE(cli({"encode", "carrier.bmp", "m2.bmp", "--message", "x"}).exitCode, 0);
        QFile::remove(at("o.bmp"));
        // Sparse, so it takes no room: only its size matters.
        QFile huge(at("huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(2300) * 1024 * 1024));
        huge.close();
        const Result r = cli(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY(!QFile::exists(at("nothing.bmp")));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(readFile(at("text.txt")), QByteArray("plain text, not a picture"));
        QVERIFY(!QFile::exists(at("o.bmp")));  // no header-only picture is left behind
    }

    void info()
    {
        Result r = cli({"info", "carrier.bmp", "--json"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("{\"width\": 120, \"height\": 40, \"bits_per_pixel\": 24, \"groups\": 1600, "
                                   "\"capacity\": 1596}\n"));
        QVERIFY(r.err.isEmpty());

        test::BmpShape shape = test::ShapeOf(30, 2);
        shape.bitsPerPixel = 32;
        shape.pixelDataOffset = 138;
        writeFile(at("odd.bmp"), QByteArray::fromStdString(test::MakeBmp(shape)));
        r = cli({"info", "odd.bmp"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Capacity:        16 bytes"));
        QVERIFY(r.err.contains("byte 138"));
        QVERIFY(r.err.contains("32 bits per pixel"));
        QCOMPARE(r.err.count("walked from byte 54 as 24-bit rows"), 2);
    }

    void helpAndVersion()
    {
        Result r = cli({"--version"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "mirel-cli " + QByteArray::fromStdString(AppVersionText()) + "\n");
        r = cli({"--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("mirel-cli encode CARRIER OUTPUT"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
