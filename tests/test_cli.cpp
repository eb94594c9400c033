#include "AppInfo.h"
#include "BmpBuilder.h"
#include "TestFiles.h"
#include "CipherMirel.h"
#include "Pictures.h"
#include "RecordingUi.h"
#include "VBEncrypt.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QImage>
#include <QImageWriter>
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
        QTest::addColumn<QString>("output");
        QTest::newRow("plain") << QStringList() << QStringList() << "m.bmp";
        QTest::newRow("password") << QStringList{"--password", "s3cret"} << QStringList{"--password", "s3cret"}
                                  << "m.bmp";
        QTest::newRow("offset") << QStringList{"--offset", "&H20"} << QStringList{"--offset", "32"} << "m.bmp";
        QTest::newRow("both, = form") << QStringList{"--password=pw", "--offset=1e2"}
                                      << QStringList{"--password=pw", "--offset", "100"} << "m.bmp";
        // A name of no picture format gets the plain bitmap.
        QTest::newRow("other name") << QStringList() << QStringList() << "m.dat";
        QTest::newRow("stealth, found without being told") << QStringList{"--stealth", "--password", "s3cret"}
                                                           << QStringList{"--password", "s3cret"} << "m.png";
    }
    void messageRoundTrips()
    {
        QFETCH(QStringList, encodeExtra);
        QFETCH(QStringList, decodeExtra);
        QFETCH(QString, output);
        const QString message = QString::fromUtf8("Grüße, € and a line\r\nbreak");
        QFile::remove(at(output));
        Result r = cli(QStringList{"encode", "carrier.bmp", output, "--message", message} + encodeExtra);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(readFile(at(output)).startsWith(output.endsWith(".png") ? "\x89PNG" : "BM"));
        r = cli(QStringList{"decode", output, "--quiet"} + decodeExtra);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out), message);
        QVERIFY(!r.err.contains("does not look like text"));
        // The same picture through a pipe, as a PNG too.
        r = cli(QStringList{"decode", "/dev/stdin", "--quiet"} + decodeExtra, readFile(at(output)));
        QCOMPARE(QString::fromUtf8(r.out), message);
        QCOMPARE(cli({"encode", "-", "p.png", "-f", "--message", "x"}, readFile(at(output))).exitCode, 0);
        QVERIFY(cli({"info", "-"}, readFile(at("p.png"))).out.contains("Format:          PNG"));
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

    // Carriers of the kinds people have (made by common tools) go in; a plain bitmap or a PNG with
    // the very same pixels comes out, and gives back exactly what was hidden. RGB PNGs made here
    // are spliced (their text is kept): image data of many deflate blocks, of one, of stored
    // blocks; the stream's first row in the last block or in the first. Bitmaps made here are
    // written whole as PNGs: in many bands over rounds of them, noisy rows and flat ones, and with
    // rows wider than a band.
    void carriersOfEveryKind_data()
    {
        QTest::addColumn<QString>("carrier");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<QSize>("made");  // of a PNG made here
        QTest::addColumn<int>("quality");  // of its writer: 100 stores the rows as they are
        QTest::addColumn<int>("secretBytes");
        for (const char* name : {"rgba.png", "deep16.png", "interlaced.png", "photo.jpg", "palette.gif", "screen.gif", "v5.bmp",
                                 "argb.bmp", "topdown.bmp", "palette.bmp"})
            QTest::newRow(name) << QString::fromLatin1(name) << (QByteArray(name) == "rgba.png") << QSize() << -1
                                << 300;
        QTest::newRow("png, many blocks") << QString() << false << QSize(401, 300) << -1 << 300;
        QTest::newRow("png, one block") << QString() << false << QSize(40, 30) << -1 << 300;
        QTest::newRow("png, stored blocks") << QString() << false << QSize(300, 200) << 100 << 300;
        QTest::newRow("png, stream from the first row") << QString() << false << QSize(300, 200) << -1 << 19900;
        QTest::newRow("bmp, many bands") << "made.bmp" << false << QSize(1100, 2300) << -1 << 300;
        QTest::newRow("bmp, rows wider than a band") << "made.bmp" << false << QSize(720000, 5) << -1 << 300;
    }
    void carriersOfEveryKind()
    {
        QFETCH(QString, carrier);
        QFETCH(bool, transparent);
        QFETCH(QSize, made);
        QFETCH(int, quality);
        QFETCH(int, secretBytes);
        const QString dir = test::FreshDir();
        QString source = QStringLiteral(MIREL_SOURCE_DIR "/tests/data/carriers/") + carrier;
        if (made.isValid()) {
            source = dir + "/" + (carrier.isEmpty() ? QStringLiteral("made.png") : carrier);
            QImage image(made, QImage::Format_RGB888);
            uint32_t noise = 7;
            for (int y = 0; y < made.height(); ++y) {
                for (int x = 0; x < made.width(); ++x) {
                    noise = noise * 1103515245u + 12345u;
                    // A bitmap's lower half is stripes without noise, for the compression of
                    // drawings.
                    if (!carrier.isEmpty() && y >= made.height() / 2)
                        noise = uint32_t(x / 4 % 2) << 26;
                    image.setPixel(x, y, qRgb((x + (noise >> 16 & 7)) & 255, (2 * y + (noise >> 20 & 7)) & 255,
                                              (x + y + (noise >> 24 & 7)) & 255));
                }
            }
            image.setText("Title", "kept");
            QImageWriter writer(source);
            writer.setQuality(quality);
            QVERIFY(writer.write(image));
        }
        QByteArray secret;
        for (int k = 0; k < secretBytes; ++k)
            secret += char(k * 37 + 11);
        writeFile(dir + "/secret.bin", secret);
        for (const QStringList& keys : {QStringList{}, QStringList{"--password", "pw", "--offset", "37"}}) {
            for (const QString output : {"out.bmp", "out.png"}) {
                Result r = cli(QStringList{"encode", source, output, "--file", "secret.bin", "-q", "-f"} + keys, {}, dir);
                QCOMPARE(r.exitCode, 0);
                QCOMPARE(r.err.contains("transparent parts"), transparent);
                QCOMPARE(r.err.contains("16-bit channels; the new picture has them reduced to 8"),
                         carrier == "deep16.png");
                QFile::remove(dir + "/secret.bin");
                r = cli(QStringList{"decode", output, "--quiet"} + keys, {}, dir);
                QCOMPARE(r.exitCode, 0);
                QCOMPARE(readFile(dir + "/secret.bin"), secret);
            }
            // The same pixels either way, and the bitmap a plain one: 40-byte header, pixels at
            // byte 54, 24 bits, rows bottom to top.
            const QImage bmp(dir + "/out.bmp");
            QVERIFY(!bmp.isNull());
            if (carrier == "interlaced.png") {  // put together from its passes, and read from them
                const QImage passes = QImage(source).convertToFormat(QImage::Format_RGB888);
                const QImage hidden = bmp.convertToFormat(QImage::Format_RGB888);
                for (int y = 0; y < passes.height(); ++y) {
                    for (int x = 0; x < passes.width() * 3; ++x)
                        QVERIFY((passes.constScanLine(y)[x] ^ hidden.constScanLine(y)[x]) <= 1);
                }
                QCOMPARE(cli({"decode", source}).out, QByteArray("hidden before interlacing"));
            }
            // info tells the size the carrier is taken at.
            const QJsonObject facts = QJsonDocument::fromJson(cli({"info", source, "--json"}).out).object();
            QCOMPARE(QSize(facts.value("width").toInt(), facts.value("height").toInt()), bmp.size());
            if (made.isValid() && carrier.isEmpty())
                QCOMPARE(QImage(dir + "/out.png").text("Title"), QStringLiteral("kept"));
            QCOMPARE(QImage(dir + "/out.png").convertToFormat(QImage::Format_RGB888),
                     bmp.convertToFormat(QImage::Format_RGB888));
            // A bitmap carrier's pixels are those of the new picture but for their lowest bits.
            if (source.endsWith(".bmp")) {
                const QImage in = QImage(source).convertToFormat(QImage::Format_RGB888);
                const QImage out = bmp.convertToFormat(QImage::Format_RGB888);
                QCOMPARE(out.size(), in.size());
                for (int y = 0; y < in.height(); ++y)
                    for (qsizetype i = 0; i < in.width() * 3; ++i)
                        QVERIFY2(((in.constScanLine(y)[i] ^ out.constScanLine(y)[i]) & 0xFE) == 0,
                                 qPrintable(QString("row %1").arg(y)));
            }
            const QByteArray header = readFile(dir + "/out.bmp").left(54);
            QCOMPARE(header.mid(10, 8), QByteArray("\x36\0\0\0\x28\0\0\0", 8));
            QCOMPARE(header.mid(28, 2), QByteArray("\x18\0", 2));
            QVERIFY(header[25] >= 0);  // a height above 0
        }
    }

    // Sealed pictures: both kinds, with and without an offset, come back exactly with the password;
    // a wrong password or offset, or one flipped bit, is refused with one message and writes
    // nothing; a decode without the password hands back the sealed box as it is, which open opens.
    void sealedPictures()
    {
        const QString dir = test::FreshDir();
        writeFile(dir + "/pw.txt", "correct horse \xE2\x9C\x93\n");  // any character will do
        writeFile(dir + "/wrong.txt", "correct horse\n");
        writeFile(dir + "/notes.txt", allBytes());
        const QStringList key{"--password-file", "pw.txt"};
        for (const QString offset : {"0", "40"}) {
            Result r = cli(QStringList{"encode", at("carrier.bmp"), "m.bmp", "--message", "sealed words", "--seal",
                                       "--offset", offset, "--force"} + key, {}, dir);
            QCOMPARE(r.exitCode, 0);
            r = cli(QStringList{"decode", "m.bmp", "--offset", offset, "--quiet"} + key, {}, dir);
            QCOMPARE(r.out, QByteArray("sealed words"));
            QCOMPARE(cli(QStringList{"encode", at("carrier.bmp"), "f.bmp", "--file", "notes.txt", "--seal",
                                     "--offset", offset, "--force"} + key, {}, dir).exitCode, 0);
            QFile::remove(dir + "/notes.txt");
            QCOMPARE(cli(QStringList{"decode", "f.bmp", "--offset", offset, "--quiet"} + key, {}, dir).exitCode, 0);
            QCOMPARE(readFile(dir + "/notes.txt"), allBytes());
        }
        QFile::remove(dir + "/notes.txt");
        QByteArray flipped = readFile(dir + "/f.bmp");
        flipped[54 + 2 * 360 + 7 * 9 + 3] = char(flipped[54 + 2 * 360 + 7 * 9 + 3] ^ 1);  // inside the box
        writeFile(dir + "/flipped.bmp", flipped);
        const QList<QStringList> refused = {{"decode", "f.bmp", "--offset", "40", "--password-file", "wrong.txt"},
                                            {"decode", "flipped.bmp", "--offset", "40", "--password-file", "pw.txt"},
                                            {"decode", "f.bmp", "--offset", "41", "--seal", "--password-file", "pw.txt"},
                                            {"decode", "f.bmp", "--offset", "40"}};
        for (const QStringList& args : refused) {
            const Result r = cli(args, {}, dir);
            QVERIFY2(r.exitCode == (args.contains("41") ? 2 : 1), qPrintable(r.err));
            if (args.size() > 4)
                QVERIFY2(r.err.endsWith(args.contains("41") ? "(a wrong offset?)\n"
                                                            : "The password is wrong, or the picture was changed.\n"),
                         qPrintable(r.err));
            QVERIFY(!QFile::exists(dir + "/notes.txt") && !QFile::exists(dir + "/sealed.mirel"));
        }
        // Without the password nothing is written, unless --output asks for the box as it is, to be
        // opened later.
        QCOMPARE(cli({"decode", "f.bmp", "--offset", "40", "-o", "sealed.mirel"}, {}, dir).exitCode, 0);
        QCOMPARE(cli(QStringList{"open", "sealed.mirel", "--quiet"} + key, {}, dir).exitCode, 0);
        QCOMPARE(readFile(dir + "/notes.txt"), allBytes());
        // A fresh salt and nonce every time.
        QCOMPARE(cli(QStringList{"encode", at("carrier.bmp"), "m2.bmp", "--message", "sealed words", "--seal",
                                 "--offset", "40"} + key, {}, dir).exitCode, 0);
        QVERIFY(readFile(dir + "/m.bmp") != readFile(dir + "/m2.bmp"));
    }

    // Stealth pictures as scripts make them: a file into a PNG with a password file comes back by
    // itself, info finds it, and a wrong password is refused with nothing written.
    void stealthPictures()
    {
        const QString dir = test::FreshDir();
        writeFile(dir + "/pw.txt", "correct horse\n");
        writeFile(dir + "/wrong.txt", "correct horsE\n");
        writeFile(dir + "/notes.txt", allBytes());
        const QStringList key{"--password-file", "pw.txt"};
        QCOMPARE(cli(QStringList{"encode", at("carrier.bmp"), "s.png", "--stealth", "--file", "notes.txt"} + key, {},
                     dir).exitCode, 0);
        QFile::remove(dir + "/notes.txt");
        Result r = cli(QStringList{"info", "s.png", "--json"} + key, {}, dir);
        const QJsonObject hidden = QJsonDocument::fromJson(r.out).object().value("hidden").toObject();
        QVERIFY2(hidden.value("stealth").toBool() && hidden.value("contents").toObject().value("name") == "notes.txt",
                 r.out.constData());
        r = cli({"decode", "s.png", "--stealth", "--password-file", "wrong.txt"}, {}, dir);
        QCOMPARE(r.exitCode, 1);
        r = cli({"decode", "s.png", "--password-file", "wrong.txt"}, {}, dir);  // the plain format does not fit
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("No stealth data opens with this password"), qPrintable(r.err));
        QVERIFY(!QFile::exists(dir + "/notes.txt"));
        QCOMPARE(cli(QStringList{"decode", "s.png", "--quiet"} + key, {}, dir).exitCode, 0);
        QCOMPARE(readFile(dir + "/notes.txt"), allBytes());
    }

    void pictureMatchesTheLibraryByteForByte()
    {
        QCOMPARE(cli({"encode", "carrier.bmp", "cli.bmp", "--message", "same bytes", "--password",
                      "pw", "--offset", "3"}).exitCode, 0);
        test::RecordingUi ui;
        int32_t offset = 3;
        const std::string payload = CryptString("same bytes", "pw");
        QVERIFY(HideInPicture(at("carrier.bmp").toStdString(), at("lib.bmp").toStdString(), payload, kKindMessage,
                              offset).status == CodecStatus::Ok);
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

    // A picture made elsewhere, or read with the wrong password, may carry any name: only its last
    // component is used, control characters never reach the terminal or the file name, and a name
    // that runs past the data, or leaves nothing usable, saves nothing.
    void storedNamesAreUntrusted_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("said");
        QTest::newRow("folders") << QByteArray("\x12../..\\sub/evil.txt" "payload") << 0 << "evil.txt" << "";
        QTest::newRow("escape sequence") << QByteArray("\x0F\x1B]0;owned\x07" "a.txt" "payload") << 0
                                         << "_]0;owned_a.txt" << "\\x1B]0;owned\\x07a.txt";
        QTest::newRow("newline and nul") << QByteArray("\x05" "a\nb\0c" "payload", 13) << 0 << "a_b_c"
                                         << "a\\x0Ab\\x00c";
        // Always a file in the folder: never standard output, a folder or an option.
        QTest::newRow("dots only") << QByteArray("\x02..payload") << 0 << "_" << "";
        QTest::newRow("controls only") << QByteArray("\x02\x01\x02payload") << 0 << "_" << "";
        QTest::newRow("no name") << QByteArray("\x00payload", 8) << 0 << "_" << "";
        QTest::newRow("standard output") << QByteArray("\x01-payload") << 0 << "_" << "";
        QTest::newRow("an option") << QByteArray("\x05-rf xpayload") << 0 << "_rf x" << "";
        QTest::newRow("name past the data") << QByteArray("\xF0short") << 1 << "" << "runs past the end";
    }
    void storedNamesAreUntrusted()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, exitCode);
        QFETCH(QString, saved);
        QFETCH(QString, said);
        test::RecordingUi ui;
        int32_t offset = 0;
        QVERIFY(HideInPicture(at("carrier.bmp").toStdString(), at("named.bmp").toStdString(), payload.toStdString(),
                              kKindFile, offset).status == CodecStatus::Ok);
        const QString inbox = test::FreshDir();
        const Result r = cli({"decode", at("named.bmp")}, {}, inbox);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY2(!r.err.contains(QChar(0x1B)) && !r.err.contains(QChar(0x07)), qPrintable(r.err));
        QCOMPARE(QDir(inbox).entryList(QDir::Files | QDir::Hidden), saved.isEmpty() ? QStringList() : QStringList{saved});
        if (!saved.isEmpty())
            QCOMPARE(readFile(inbox + "/" + saved), QByteArray("payload"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a bitmap") << QStringList{"encode", "text.txt", "o.bmp", "--message", "x"} << 1
                                      << "not a picture Mirel can read: text.txt";
        QTest::newRow("decode not a bitmap") << QStringList{"decode", "text.txt"} << 1
                                             << "not a picture Mirel can read: text.txt";
        QTest::newRow("does not fit") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message-file", "big.bin"} << 1
                                      << "the data does not fit: carrier.bmp can hold at most 1,596 bytes at offset 0";
        QTest::newRow("nothing hidden") << QStringList{"decode", "carrier.bmp", "--offset", "1597"} << 2
                                        << "nothing hidden at offset 1,597 in carrier.bmp (a wrong offset, or not made by";
        QTest::newRow("announces too much") << QStringList{"decode", "m2.bmp", "--offset", "1"} << 2
                                            << "m2.bmp announces more data than it can hold after offset 1 (a wrong";
        QTest::newRow("encode over a file") << QStringList{"encode", "carrier.bmp", "m2.bmp", "--message", "y"} << 1
                                            << "The file m2.bmp exists already; give --force to replace it.";
        QTest::newRow("offset too large") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x", "--offset", "1e10"}
                                          << 1 << "The offset \"1e10\" is too large: it must lie between 0 and 2,147,483,647.";
        QTest::newRow("offset far below") << QStringList{"info", "carrier.bmp", "--offset", "-1e10"} << 1 << "\"-1e10\" is too large";
        QTest::newRow("offset too large for open") << QStringList{"open", "box", "--offset", "1e10"} << 64
                                                   << "--offset does not go with open";
        QTest::newRow("offset too large, then a typo") << QStringList{"decode", "m2.bmp", "--offset", "1e10", "--frob"} << 64
                                                       << "unknown option --frob";
        QTest::newRow("negative offset") << QStringList{"decode", "carrier.bmp", "--offset", "-5"} << 1
                                         << "the offset must be 0 or more, not -5";
        QTest::newRow("output exists") << QStringList{"decode", "m2.bmp", "--output", "text.txt"} << 1 << "--force";
        QTest::newRow("missing file to hide") << QStringList{"encode", "carrier.bmp", "o.bmp", "--file", "nope"} << 2
                                              << "nope";
        QTest::newRow("missing picture") << QStringList{"decode", "nothing.bmp"} << 1 << "File not found";
        QTest::newRow("lossy output") << QStringList{"encode", "carrier.bmp", "o.jpg", "--message", "x"} << 1
                                      << "changes the pixels and would lose what is hidden";
        QTest::newRow("empty message") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", ""} << 1
                                       << "No message to encode.";
        QTest::newRow("empty message file") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message-file", "empty"}
                                            << 1 << "No message to encode.";
        QTest::newRow("password without a code") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x",
                                                                "--password", "\u043f\u0430\u0440\u043e\u043b\u044c123"}
                                                 << 1 << "holds 6 different characters";
        QTest::newRow("empty password file") << QStringList{"decode", "m2.bmp", "--password-file", "empty"} << 1
                                             << "is empty";
        QTest::newRow("empty password on stdin") << QStringList{"decode", "m2.bmp", "--password-file", "-"} << 1
                                                 << "standard input is empty";
        QTest::newRow("offset with letters after it") << QStringList{"decode", "m2.bmp", "--offset", "12abc"} << 64
                                                      << "not \"12abc\"";
        QTest::newRow("offset of letters") << QStringList{"decode", "m2.bmp", "--offset", "abc"} << 64 << "\"abc\"";
        QTest::newRow("empty offset") << QStringList{"decode", "m2.bmp", "--offset", ""} << 64 << "\"\"";
        QTest::newRow("message into a folder") << QStringList{"decode", "m2.bmp", "--output", "."} << 1 << "a folder";
        QTest::newRow("file beyond 32 bits") << QStringList{"encode", "carrier.bmp", "o.bmp", "--file", "huge.bin"} << 1
                                             << "too large";
        QTest::newRow("truncated picture") << QStringList{"decode", "cut.bmp", "--offset", "1000"} << 2
                                           << "cut.bmp is cut short";
        QTest::newRow("truncated png") << QStringList{"decode", "cut.png"} << 2 << "cut.png is cut short";
        QTest::newRow("damaged png") << QStringList{"decode", "bad.png"} << 2 << "bad.png: IDAT stream error";
        QTest::newRow("no command") << QStringList{} << 64 << "no command";
        QTest::newRow("unknown option") << QStringList{"info", "carrier.bmp", "--frobnicate"} << 64 << "unknown option";
        QTest::newRow("two sources") << QStringList{"encode", "a", "b", "--message", "x", "--file", "y"} << 64 << "only one";
        QTest::newRow("missing value") << QStringList{"decode", "carrier.bmp", "--offset"} << 64 << "needs a value";
        QTest::newRow("no payload") << QStringList{"encode", "carrier.bmp", "o.bmp"} << 64 << "needs --message";
        QTest::newRow("empty message after =") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message="} << 1
                                               << "No message to encode.";
        QTest::newRow("value for a switch") << QStringList{"info", "carrier.bmp", "--json=yes"} << 64 << "--json takes no value";
        QTest::newRow("switches run together") << QStringList{"info", "carrier.bmp", "-qh"} << 64 << "unknown option -qh";
        QTest::newRow("help after --") << QStringList{"--", "encode", "--help"} << 64 << "encode takes CARRIER and OUTPUT";
        QTest::newRow("two passwords") << QStringList{"decode", "m2.bmp", "--password=a", "--ask-password"} << 64
                                       << "give only one of --password, --password-file and --ask-password";
        QTest::newRow("message for decode") << QStringList{"decode", "m2.bmp", "--file", "x"} << 64
                                            << "--message, --message-file and --file does not go with decode";
        QTest::newRow("json for encode") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x", "--json"} << 64
                                         << "--json does not go with encode";
        QTest::newRow("seal without a password") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x", "--seal"}
                                                 << 64 << "--seal needs a password";
        QTest::newRow("seal not found") << QStringList{"decode", "m2.bmp", "--seal"} << 1 << "the picture is not sealed";
        QTest::newRow("stealth with an offset") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message", "x",
                                                               "--stealth", "--password", "pw", "--offset", "3"}
                                                << 64 << "--stealth does not go with --offset";
        QTest::newRow("stealth without a password") << QStringList{"decode", "m2.bmp", "--stealth"} << 64
                                                    << "--stealth needs a password";
        QTest::newRow("stealth does not fit") << QStringList{"encode", "carrier.bmp", "o.bmp", "--message-file",
                                                             "stealth.bin", "--stealth", "--password", "pw"}
                                              << 1 << "can hold at most 1,641 bytes in the stealth layout";
        QTest::newRow("stealth asked, plain found") << QStringList{"decode", "m2.bmp", "--stealth", "--password", "pw"}
                                                    << 1 << "The password is wrong, or the picture was changed.";
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        writeFile(at("text.txt"), "plain text, not a picture");
        writeFile(at("empty"), "");
        writeFile(at("big.bin"), QByteArray(1597, 'z'));
        writeFile(at("stealth.bin"), QByteArray(1642, 'z'));
        writeFile(at("cut.bmp"), carrierBytes(120, 40).left(54 + 360 * 3));
        QCOMPARE(cli({"encode", "carrier.bmp", "m2.bmp", "--message", "x", "--force"}).exitCode, 0);
        const QByteArray m2 = readFile(at("m2.bmp"));
        QCOMPARE(cli({"encode", "carrier.bmp", "m2.png", "--message", "x", "--force"}).exitCode, 0);
        writeFile(at("cut.png"), readFile(at("m2.png")).chopped(readFile(at("m2.png")).size() / 3));
        // Image data whose first deflate block is of the type that does not exist.
        QByteArray bad = readFile(at("m2.png"));
        bad[bad.indexOf("IDAT") + 6] = char(bad[bad.indexOf("IDAT") + 6] | 0x06);
        writeFile(at("bad.png"), bad);
        QFile::remove(at("o.bmp"));
        // Sparse, so it takes no room: only its size matters.
        QFile huge(at("huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(2300) * 1024 * 1024));
        huge.close();
        const Result r = cli(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY(!QFile::exists(at("nothing.bmp")));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        // Plain words: never the desktop's numbered messages, never a password's characters.
        QVERIFY2(!r.err.contains("Error #") && !r.err.contains("\u043f"), qPrintable(r.err));
        QCOMPARE(r.err.endsWith("Try 'mirel-cli --help' for more information.\n"), exitCode == 64);
        QCOMPARE(readFile(at("m2.bmp")), m2);
        QCOMPARE(readFile(at("text.txt")), QByteArray("plain text, not a picture"));
        QVERIFY(!QFile::exists(at("o.bmp")));  // no header-only picture is left behind
    }

    void info()
    {
        Result r = cli({"info", "carrier.bmp", "--json"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.endsWith("}\n") && r.out.count('\n') == 1);
        QCOMPARE(QJsonDocument::fromJson(r.out).object(),
                 QJsonDocument::fromJson("{\"width\": 120, \"height\": 40, \"bits_per_pixel\": 24, \"groups\": 1600, "
                                         "\"capacity\": 1596, \"stealth_capacity\": 1641, \"format\": \"BMP\", \"layout\": \"24 bits a pixel, "
                                         "pixels at byte 54\", \"converted\": false, \"hidden\": null}")
                     .object());
        QVERIFY(r.err.isEmpty());

        // Other kinds are turned into a plain bitmap first: its capacity, and a note that says so.
        r = cli({"info", QStringLiteral(MIREL_SOURCE_DIR "/tests/data/carriers/rgba.png")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("Format:          PNG (8-bit RGB and alpha)\n"), r.out.constData());
        QVERIFY(r.out.contains("Capacity:        796 bytes"));
        QVERIFY(r.err.contains("turned into a plain 24-bit BMP"));

        // Only figures the encoder honours: no room in a picture without whole groups, and none in
        // a 154-byte file whose header promises 100,000 long rows.
        writeFile(at("narrow.bmp"), QByteArray::fromStdString(test::MakeBmp(test::ShapeOf(2, 10))));
        r = cli({"info", "narrow.bmp"});
        QVERIFY2(r.out.contains("Capacity:        no room\n"), r.out.constData());
        test::BmpShape promise = test::ShapeOf(6000, 100000);
        promise.rowsWritten = 0;
        promise.tail = std::string(100, 'x');
        writeFile(at("promise.bmp"), QByteArray::fromStdString(test::MakeBmp(promise)));
        r = cli({"info", "promise.bmp", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject promised = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(promised.value("groups").toInt(-1), 0);
        QCOMPARE(promised.value("capacity").toInt(-1), 0);
        QVERIFY2(promised.value("problem").toString().startsWith("Input past end of file"), r.out.constData());
    }

    void helpAndVersion()
    {
        Result r = cli({"--version"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "mirel-cli " + QByteArray::fromStdString(AppVersionText()) + "\n");
        r = cli({"--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("mirel-cli encode CARRIER OUTPUT"));
        QVERIFY(r.out.contains("  --json                info: print one JSON object\n"));
        QCOMPARE(cli({"help"}).out, r.out);
        QCOMPARE(cli({"frob", "-h"}).out, r.out);
        // After a command, only its own usage and options.
        r = cli({"--quiet", "encode", "--help", "--frob"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("Usage:\n  mirel-cli encode CARRIER OUTPUT"));
        QVERIFY(r.out.contains("  --message TEXT ") && r.out.contains("  -h, --help "));
        QCOMPARE(cli({"help", "encode"}).out, r.out);
        QVERIFY(!r.out.contains("mirel-cli decode") && !r.out.contains("--json") && !r.out.contains("--version"));
        r = cli({"info", "carrier.bmp", "-h"});
        QVERIFY(r.out.contains("mirel-cli info PICTURE") && r.out.contains("--json") && !r.out.contains("--message"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
