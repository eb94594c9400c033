#include "AppInfo.h"
#include "BinaryFile.h"
#include "CodePage.h"
#include "NumberText.h"
#include "OffsetText.h"
#include "Paths.h"
#include "TestFiles.h"
#include "TextLines.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <map>

#include <sys/stat.h>

using namespace mirel;

namespace {
std::string workDir()
{
    return test::WorkDir().toStdString();
}

QStringList linesOf(const std::string& text, size_t pieceSize)
{
    QStringList lines;
    LineSplitter splitter;
    const auto sink = [&](std::string_view line) {
        lines << QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    };
    for (size_t at = 0; at < text.size(); at += pieceSize)
        splitter.feed(std::string_view(text).substr(at, pieceSize), sink);
    splitter.finish(sink);
    return lines;
}
}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    // Windows-1252 as published, with its five unassigned bytes standing for the C1 controls of
    // the same number; every other byte is its own Latin-1 character.
    void codePageKnownAnswers()
    {
        const std::map<int, char16_t> high = {
            {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
            {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160}, {0x8B, 0x2039},
            {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018},
            {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014},
            {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9D, 0x009D},
            {0x9E, 0x017E}, {0x9F, 0x0178}};
        for (int b = 0; b < 256; ++b) {
            const char16_t expected = high.count(b) ? high.at(b) : char16_t(b);
            QCOMPARE(int(CharFromAnsi(static_cast<unsigned char>(b))), int(expected));
            QCOMPARE(int(AnsiFromChar(expected)), b);
            const std::string one(1, static_cast<char>(b));
            QCOMPARE(Utf16FromAnsi(one), std::u16string(1, expected));
            QCOMPARE(AnsiFromUtf8(Utf8FromAnsi(one)), one);
        }
        // The C1 controls that Windows-1252 puts other characters in place of have no byte.
        const std::initializer_list<char32_t> unmapped = {U'\u0080', U'\u0091', U'\u009F', U'\u0100', U'\u201B'};
        for (const char32_t ch : unmapped)
            QCOMPARE(int(AnsiFromChar(ch)), int('?'));
    }

    void charactersOutsideTheCodePageBecomeQuestionMarks()
    {
        size_t replaced = 0;
        QCOMPARE(AnsiFromUtf8("a\u4E2Db\U0001F600c", &replaced), std::string("a?b?c"));
        QCOMPARE(replaced, size_t(2));
        QCOMPARE(AnsiFromUtf16(u"x\U0001F600y"), std::string("x?y"));  // one pair, one '?'
        QCOMPARE(AnsiFromUtf8("bad \xC3 end", &replaced), std::string("bad ? end"));
        QCOMPARE(AnsiFromUtf8("?", &replaced), std::string("?"));
        QCOMPARE(replaced, size_t(0));
        QCOMPARE(Utf8FromUtf16(Utf16FromUtf8("caf\u00E9 \U0001F600")), std::string("caf\u00E9 \U0001F600"));
    }

    void numbersUseTheLocaleGrouping()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(FormatNumber(9036), std::string("9,036"));
        QCOMPARE(FormatNumber(-4), std::string("-4"));
        QCOMPARE(FormatNumber(2147483647), std::string("2,147,483,647"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(FormatNumber(1234567), std::string("1.234.567"));
        QLocale::setDefault(QLocale::c());
    }

    void fileNameFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "picture.bmp" << "picture.bmp";
        QTest::newRow("unix folders") << "/home/ann/picture.bmp" << "picture.bmp";
        QTest::newRow("windows folders") << "C:\\Users\\ann\\secret.txt" << "secret.txt";
        QTest::newRow("mixed, slash last") << "a\\b/c.txt" << "c.txt";
        QTest::newRow("mixed, backslash last") << "a/b\\c.txt" << "c.txt";
        QTest::newRow("ends in separator") << "folder/" << "";
        QTest::newRow("climbing out") << "../../etc/passwd" << "passwd";
        QTest::newRow("empty") << "" << "";
    }
    void fileNameFromPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(FileNameFromPath(path.toStdString())), name);
    }

    void textLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("crlf") << QByteArray("one\r\ntwo\r\n") << QStringList{"one", "two"};
        QTest::newRow("cr only") << QByteArray("one\rtwo\r") << QStringList{"one", "two"};
        QTest::newRow("lone lf stays") << QByteArray("one\ntwo\n") << QStringList{"one\ntwo\n"};
        QTest::newRow("last line unterminated") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("empty lines") << QByteArray("\r\n\r\r\n") << QStringList{"", "", ""};
        QTest::newRow("cr cr lf") << QByteArray("x\r\r\ny") << QStringList{"x", "", "y"};
        QTest::newRow("lf after crlf") << QByteArray("x\r\n\ny") << QStringList{"x", "\ny"};
    }
    void textLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        const std::string s = text.toStdString();
        QCOMPARE(linesOf(s, s.size() + 1), lines);
        QCOMPARE(linesOf(s, 1), lines);  // a CR LF split between two reads is still one break
    }

    void readTextLinesFromFilesAndFailures()
    {
        const std::string path = workDir() + "/lines.txt";
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("first\r\nsecond");
        f.close();
        std::vector<std::string> lines;
        QVERIFY(!ReadTextLines(path, [&](std::string_view l) { lines.emplace_back(l); }));
        QCOMPARE(lines, (std::vector<std::string>{"first", "second"}));

        const Failure missing = ReadTextLines(workDir() + "/nope.txt", [](std::string_view) {});
        QCOMPARE(missing.code, ErrorCode::FileNotFound);
        QVERIFY(missing.describe().find("nope.txt") != std::string::npos);
        const Failure folder = ReadTextLines(workDir(), [](std::string_view) {});
        QCOMPARE(folder.code, ErrorCode::PathFileAccess);
    }

    void filesFailWithTheirCodesAndReadingNeverCreates()
    {
        const std::string dir = test::FreshDir().toStdString();
        BinaryFile file;
        QCOMPARE(BinaryFile::openExisting(dir + "/missing.bin", file).code, ErrorCode::FileNotFound);
        // Behind a dangling link: not found, and nothing appears at the link's target.
        QVERIFY(QFile::link(QString::fromStdString(dir + "/target.bin"), QString::fromStdString(dir + "/dangling")));
        QCOMPARE(BinaryFile::openExisting(dir + "/dangling", file).code, ErrorCode::FileNotFound);
        QVERIFY(!QFile::exists(QString::fromStdString(dir + "/target.bin")));

        std::string data;
        QVERIFY(!WriteWholeFile(dir + "/whole.bin", std::string("a\0b", 3)));
        QVERIFY(!ReadWholeFile(dir + "/whole.bin", data));
        QCOMPARE(data, std::string("a\0b", 3));
        char buffer[4];
        QVERIFY(!BinaryFile::openExisting(dir + "/whole.bin", file));
        QCOMPARE(file.readExact(buffer, 4).code, ErrorCode::InputPastEnd);
        QCOMPARE(ReadWholeFile(dir, data).code, ErrorCode::PathFileAccess);
    }

    // A new file takes its destination's place only when committed; until then, and when it is
    // given up, the destination is as it was and no other file is in the folder.
    void outputFilesReplaceTheirDestinationInOneStep()
    {
        const QString dir = test::FreshDir();
        const std::string old = (dir + "/old.bin").toStdString();
        QVERIFY(!WriteWholeFile(old, "old content"));
        QVERIFY(QFile::setPermissions(QString::fromStdString(old), QFile::ReadOwner | QFile::WriteOwner));
        for (const bool commit : {false, true}) {
            OutputFile out;
            QVERIFY(!OutputFile::create(old, out));
            QVERIFY(!out.file().write("new", 3));
            QCOMPARE(test::readFile(QString::fromStdString(old)), QByteArray("old content"));
            if (commit)
                QVERIFY(!out.commit());
        }
        QCOMPARE(test::readFile(QString::fromStdString(old)), QByteArray("new"));
        struct stat st {};
        QVERIFY(::stat(old.c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"old.bin"});

        // A link is replaced by the new file; what it pointed to stays.
        QVERIFY(QFile::link(QString::fromStdString(old), dir + "/link.bin"));
        QVERIFY(!WriteWholeFile((dir + "/link.bin").toStdString(), "through"));
        QVERIFY(!QFileInfo(dir + "/link.bin").isSymLink());
        QCOMPARE(test::readFile(QString::fromStdString(old)), QByteArray("new"));

        // Nothing but a file can be replaced, and nothing is made in a folder that is not there.
        OutputFile out;
        QCOMPARE(OutputFile::create(dir.toStdString(), out).code, ErrorCode::PathFileAccess);
        QCOMPARE(NotAFileAt(dir.toStdString()), std::string("a folder"));
        QCOMPARE(NotAFileAt("/dev/null"), std::string("a device"));
        QCOMPARE(OutputFile::create((dir + "/no/such/x").toStdString(), out).code, ErrorCode::FileNotFound);
        QCOMPARE(OutputFile::create("/dev/mirel-new", out).code, ErrorCode::PathFileAccess);

        // The program's own streams are known by their names, not taken for files to replace.
        BinaryFile open;
        QVERIFY(!BinaryFile::openExisting(old, open));
        const std::string fd = std::to_string(open.descriptor());
        QCOMPARE(StreamNamedBy("/dev/stdout"), 1);
        QCOMPARE(StreamNamedBy("/dev/fd/" + fd), open.descriptor());
        QCOMPARE(StreamNamedBy("/proc/self/fd/" + fd), open.descriptor());
        QCOMPARE(StreamNamedBy("/dev/fd/987654"), -1);
        QCOMPARE(StreamNamedBy((dir + "/stdout").toStdString()), -1);
    }

    void offsetText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("inRange");
        QTest::addColumn<int>("value");
        QTest::addColumn<OffsetCheck>("check");  // of the text as a whole, as on a command line
        QTest::newRow("zero") << "0" << true << 0 << OffsetCheck::Ok;
        QTest::newRow("empty") << "" << true << 0 << OffsetCheck::NotANumber;
        QTest::newRow("trailing letters") << "12abc" << true << 12 << OffsetCheck::NotANumber;
        QTest::newRow("blanks inside") << " 1 2 " << true << 12 << OffsetCheck::Ok;
        QTest::newRow("tabs and line feeds") << "\t1\n2" << true << 12 << OffsetCheck::Ok;
        QTest::newRow("half to even down") << "2.5" << true << 2 << OffsetCheck::Ok;
        QTest::newRow("half to even up") << "3.5" << true << 4 << OffsetCheck::Ok;
        QTest::newRow("negative half") << "-2.5" << true << -2 << OffsetCheck::Negative;
        QTest::newRow("negative") << "-7" << true << -7 << OffsetCheck::Negative;
        QTest::newRow("plus sign") << "+9" << true << 9 << OffsetCheck::Ok;
        QTest::newRow("hex") << "&H10" << true << 16 << OffsetCheck::Ok;
        QTest::newRow("hex lower case") << "&hff" << true << 255 << OffsetCheck::Ok;
        QTest::newRow("hex 16-bit wraps") << "&HFFFF" << true << -1 << OffsetCheck::Negative;
        QTest::newRow("hex 32-bit") << "&H10000" << true << 65536 << OffsetCheck::Ok;
        QTest::newRow("hex 32-bit wraps") << "&HFFFFFFFF" << true << -1 << OffsetCheck::Negative;
        QTest::newRow("hex too long") << "&H100000000" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("octal") << "&O17" << true << 15 << OffsetCheck::Ok;
        QTest::newRow("octal 16-bit wraps") << "&o177777" << true << -1 << OffsetCheck::Negative;
        QTest::newRow("hex stops at non-digit") << "&H1G" << true << 1 << OffsetCheck::NotANumber;
        QTest::newRow("ampersand alone") << "&" << true << 0 << OffsetCheck::NotANumber;
        QTest::newRow("exponent") << "1e3" << true << 1000 << OffsetCheck::Ok;
        QTest::newRow("exponent with D") << "2D2" << true << 200 << OffsetCheck::Ok;
        QTest::newRow("negative exponent") << "15E-1" << true << 2 << OffsetCheck::Ok;
        QTest::newRow("exponent without digits") << "7e" << true << 7 << OffsetCheck::NotANumber;
        QTest::newRow("exponent sign only") << "7e+" << true << 7 << OffsetCheck::NotANumber;
        QTest::newRow("leading point") << ".6" << true << 1 << OffsetCheck::Ok;
        QTest::newRow("second point stops") << "1.5.9" << true << 2 << OffsetCheck::NotANumber;
        QTest::newRow("letters only") << "abc" << true << 0 << OffsetCheck::NotANumber;
        QTest::newRow("sign only") << "-" << true << 0 << OffsetCheck::NotANumber;
        QTest::newRow("double sign") << "+-3" << true << 0 << OffsetCheck::NotANumber;
        QTest::newRow("comma is no decimal point") << "3,7" << true << 3 << OffsetCheck::NotANumber;
        QTest::newRow("largest") << "2147483647" << true << 2147483647 << OffsetCheck::Ok;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL) << OffsetCheck::Negative;
        QTest::newRow("rounds past largest") << "2147483647.5" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("too large") << "1e10" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("far too large") << "1e999" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("tiny") << "1e-999" << true << 0 << OffsetCheck::Ok;
        QTest::newRow("many digits") << "99999999999999999999" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("huge despite a negative exponent") << "1" + QString(400, '0') + "e-5" << false << 0 << OffsetCheck::TooLarge;
        QTest::newRow("tiny without an exponent") << "0." + QString(400, '0') + "1" << true << 0 << OffsetCheck::Ok;
        QTest::newRow("huge and negative") << "-1e400" << false << 0 << OffsetCheck::TooNegative;
    }
    void offsetText()
    {
        QFETCH(QString, text);
        QFETCH(bool, inRange);
        QFETCH(int, value);
        QFETCH(OffsetCheck, check);
        const OffsetValue v = ValueOfOffsetText(text.toStdString());
        QCOMPARE(v.inRange, inRange);
        if (inRange)
            QCOMPARE(v.value, value);
        // The settings window judges the number at the start, which no row puts out of range.
        int32_t checked = -1;
        QCOMPARE(CheckOffsetText(text.toStdString(), false, checked), check == OffsetCheck::NotANumber ? OffsetCheck::Ok : check);
        QCOMPARE(checked, inRange ? value : 0);
        QCOMPARE(CheckOffsetText(text.toStdString(), true, checked), check);
        QCOMPARE(checked, check == OffsetCheck::Ok || check == OffsetCheck::Negative ? value : 0);
    }

    void applicationInformation()
    {
        QCOMPARE(std::string(AppTitle()), std::string("Mirel"));
        // The version of project(VERSION), as major.minor.revision without leading zeros.
        QCOMPARE(AppVersionText(), std::string(MIREL_PROJECT_VERSION));
    }

    void sameFileSeesThroughLinks()
    {
        const std::string a = workDir() + "/same-a";
        QVERIFY(!WriteWholeFile(a, "x"));
        QVERIFY(QFile::link(QString::fromStdString(a), QString::fromStdString(workDir() + "/same-link")));
        QVERIFY(SameFile(a, workDir() + "/same-link"));
        QVERIFY(SameFile(a, workDir() + "/./same-a"));
        QVERIFY(!SameFile(a, workDir() + "/not-there"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
