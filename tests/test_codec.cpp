#include "BmpBuilder.h"
#include "CipherMirel.h"
#include "Payload.h"
#include "RecordingUi.h"
#include "Seal.h"
#include "Stealth.h"
#include "StealthLayout.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <thread>

#include <sys/stat.h>

using namespace mirel;
using mirel::test::BmpShape;
using mirel::test::MakeBmp;
using mirel::test::Pattern;
using mirel::test::RecordingUi;
using mirel::test::ShapeOf;
using mirel::test::StrideOf;

namespace {

std::string work(const std::string& name)
{
    return test::at(QString::fromStdString(name)).toStdString();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    test::writeFile(QString::fromStdString(path), QByteArray::fromStdString(bytes));
}

std::string readFile(const std::string& path)
{
    return test::readFile(QString::fromStdString(path)).toStdString();
}

bool fileExists(const std::string& path)
{
    return QFile::exists(QString::fromStdString(path));
}

// The offset the last encode or decode was handed, as the codec left it: counted down.
int32_t offsetLeft = 0;

void resetState()
{
    gAbort = false;
    gBytePos = gMsgStart = gMsgEnd = 0;
    offsetLeft = 0;
}

std::string le32(uint32_t v)
{
    std::string s;
    for (int k = 0; k < 4; ++k)
        s += static_cast<char>((v >> (8 * k)) & 0xFF);
    return s;
}

// The picture a correct encoder writes, worked out independently of the codec: the carrier's
// header and rows, with stream byte n in the eight low bits of group offset + n and the kind in
// the ninth byte of the first stream group.
std::string expectedPicture(const std::string& carrier, const std::string& stream, uint8_t kind,
                            int64_t offset)
{
    const auto field = [&](int at) {
        return int32_t(uint8_t(carrier[at]) | uint8_t(carrier[at + 1]) << 8 |
                       uint8_t(carrier[at + 2]) << 16 | uint32_t(uint8_t(carrier[at + 3])) << 24);
    };
    const int32_t width = field(18);
    const int32_t height = field(22);
    const int64_t stride = StrideOf(width);
    const int64_t perRow = width / 3;
    std::string out = carrier.substr(0, size_t(54 + stride * std::max(height, 0)));
    for (size_t n = 0; n < stream.size(); ++n) {
        const int64_t group = offset + int64_t(n);
        const int64_t base = 54 + (group / perRow) * stride + (group % perRow) * 9;
        const auto b = uint8_t(stream[n]);
        for (int k = 0; k < 8; ++k)
            out[size_t(base + k)] = char((uint8_t(out[size_t(base + k)]) & 0xFE) | ((b >> k) & 1));
        if (n == 0)
            out[size_t(base + 8)] = char((uint8_t(out[size_t(base + 8)]) & 0xFE) | kind);
    }
    return out;
}

std::string payloadOf(size_t size, uint32_t seed)
{
    std::string p(size, '\0');
    for (size_t k = 0; k < size; ++k) {
        seed = seed * 1103515245u + 12345u;
        p[k] = char(seed >> 16);
    }
    return p;
}

// The codec called as the programs call it, what it says recorded by the test's RecordingUi (or,
// where the test has none, by one of its own).
int32_t encode(const std::string& carrier, const std::string& destination, const std::string& payload,
               uint8_t kind, int32_t offset)
{
    offsetLeft = offset;
    if (auto* ui = dynamic_cast<RecordingUi*>(&Ui()))
        return ui->encode(carrier, destination, payload, kind, offsetLeft);
    return RecordingUi().encode(carrier, destination, payload, kind, offsetLeft);
}

std::string decode(const std::string& picture, int32_t offset, CodecStatus* status = nullptr)
{
    offsetLeft = offset;
    auto* installed = dynamic_cast<RecordingUi*>(&Ui());
    const CodecResult result = installed ? installed->decode(picture, offsetLeft) : RecordingUi().decode(picture, offsetLeft);
    if (status)
        *status = result.status;
    return result.status == CodecStatus::Ok ? static_cast<char>(result.kind) + result.payload : std::string();
}

}  // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        resetState();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void lengthField()
    {
        RecordingUi ui;
        QCOMPARE(LongToString(0), std::string(4, '\0'));
        QCOMPARE(LongToString(300), std::string("\x2C\x01\x00\x00", 4));
        QCOMPARE(LongToString(2147483647), std::string("\xFF\xFF\xFF\x7F", 4));
        for (int32_t v : {0, 300, 65536, 2147483647})
            QCOMPARE(StringToLong(LongToString(v)), v);
        QVERIFY(ui.messages.empty());

        Message overflow;
        QCOMPARE(StringToLong(std::string("\x00\x00\x00\x80", 4), &overflow), 0);
        ui.record({overflow});
        QCOMPARE(ui.onlyMessage(), std::string("StringToLong Error #6\r\n\r\nOverflow"));
        QCOMPARE(ui.messages[0].caption, std::string("Mirel"));
        QVERIFY(ui.messages[0].icon == MsgIcon::None);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("kind");
        QTest::newRow("3 wide, one group a row") << 3 << 40 << 0 << 20 << 0;
        QTest::newRow("4 wide, padding") << 4 << 30 << 3 << 10 << 1;
        QTest::newRow("5 wide, loose bytes") << 5 << 30 << 0 << 25 << 0;
        QTest::newRow("8 wide") << 8 << 20 << 1 << 30 << 1;
        QTest::newRow("301 wide across rows") << 301 << 9 << 0 << 500 << 0;
        QTest::newRow("301 wide, offset 5") << 301 << 9 << 5 << 300 << 1;
        QTest::newRow("offset into the second row") << 301 << 9 << 150 << 120 << 0;
        QTest::newRow("empty payload") << 30 << 2 << 0 << 0 << 0;
        QTest::newRow("exactly full") << 30 << 3 << 0 << 26 << 1;
        QTest::newRow("full after offset") << 30 << 3 << 10 << 16 << 0;
        QTest::newRow("tall and narrow") << 6 << 700 << 7 << 1000 << 1;
        // The megabytes without the stream are copied beside the stream's rows.
        QTest::newRow("2 MB, the stream in the first") << 1001 << 700 << 300 << 2000 << 0;
        QTest::newRow("2 MB, the stream in the second") << 1001 << 700 << 133200 << 2000 << 1;
    }
    void roundTrip()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, offset);
        QFETCH(int, size);
        QFETCH(int, kind);
        RecordingUi ui;
        BmpShape shape = ShapeOf(width, height);
        shape.seed = uint32_t(width * 7919 + height);
        shape.tail = "TAIL";  // bytes after the last row are not copied
        const std::string carrierBytes = MakeBmp(shape);
        writeFile(work("carrier.bmp"), carrierBytes);
        const std::string payload = payloadOf(size_t(size), uint32_t(size + 1));

        QCOMPARE(encode(work("carrier.bmp"), work("out.bmp"), payload, uint8_t(kind), offset), 0);
        QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages[0].text.c_str());
        const std::string stream = le32(uint32_t(size)) + payload;
        QCOMPARE(readFile(work("out.bmp")), expectedPicture(carrierBytes, stream, uint8_t(kind), offset));
        QCOMPARE(readFile(work("carrier.bmp")), carrierBytes);

        // The bookkeeping of a complete pass.
        const int groups = width / 3 * height;
        QCOMPARE(offsetLeft, 0);
        QCOMPARE(gMsgStart, offset);
        QCOMPARE(gMsgEnd, offset + size + 3);
        QCOMPARE(gBytePos, groups);
        QVERIFY(ui.yields >= 1 && ui.yields <= height);  // at most one a row: untouched rows go in slices

        resetState();
        const std::string decoded = decode(work("out.bmp"), offset);
        QVERIFY(ui.messages.empty());
        QCOMPARE(decoded, std::string(1, char(kind)) + payload);
        QCOMPARE(offsetLeft, 0);
        QCOMPARE(gBytePos, 0);  // the decoder leaves the encoder's bookkeeping alone
    }

    // Sealed boxes (with the cheapest key derivation, for speed): what goes in comes out with the
    // right password only, a changed bit anywhere is refused, and two seals of one input differ.
    void sealedBoxes()
    {
        const SealCost cheap{1, 8192};
        const std::string file = FrameFilePayload("notes.txt", std::string(300, 'n'));  // deflates well
        const std::string noise = payloadOf(200, 11);                                  // does not
        for (const auto& [kind, payload] : {std::pair{kKindFile, file}, std::pair{kKindMessage, noise}}) {
            std::string box;
            QVERIFY(SealPayload(kind, payload, "p\xC3\xA4ss", box, cheap) == SealStatus::Ok);
            uint8_t openedKind = 9;
            HeldBytes opened;
            QVERIFY(OpenSealedBox(box, "p\xC3\xA4ss", openedKind, opened) == SealStatus::Ok);
            QCOMPARE(opened.view(), std::string_view(payload));
            QCOMPARE(openedKind, kind);
            QVERIFY(OpenSealedBox(box, "pass", openedKind, opened) == SealStatus::Refused);
            QVERIFY(opened.empty());
            std::string again;
            QVERIFY(SealPayload(kind, payload, "p\xC3\xA4ss", again, cheap) == SealStatus::Ok);
            QVERIFY(again != box);
            // Stored under the neutral name, the box is found again as it was.
            std::string found;
            QVERIFY(FindSealedBox(FrameFilePayload(kSealedName, box), found));
            QCOMPARE(found, box);
            QVERIFY(!FindSealedBox(file, found));
        }
        std::string box;
        QVERIFY(SealPayload(kKindMessage, "short", "pw", box, cheap) == SealStatus::Ok);
        for (size_t at = 0; at < box.size(); ++at) {  // one bit of every byte, a different one each time
            std::string changed = box;
            changed[at] = char(changed[at] ^ (1 << (at % 8)));
            uint8_t kind = 0;
            HeldBytes opened;
            QVERIFY2(OpenSealedBox(changed, "pw", kind, opened) != SealStatus::Ok, qPrintable(QString::number(at)));
        }
        // What a box asks is judged before the password is used: too much memory (1 TiB, then
        // 4 GiB), too much work (64 passes over 1 GiB), a newer version, flags not known yet.
        uint8_t kind = 0;
        HeldBytes opened;
        const auto with = [&box](size_t at, std::string bytes) { return std::string(box).replace(at, bytes.size(), bytes); };
        QVERIFY(OpenSealedBox(with(18, std::string("\0\0\0\0\0\1", 6)), "pw", kind, opened) == SealStatus::TooCostly);
        QVERIFY(OpenSealedBox(with(10, std::string("\x40\0\0\0\0\0\0\0\0\0\0\0\1", 13)), "pw", kind, opened) ==
                SealStatus::TooCostly);
        QVERIFY(OpenSealedBox(with(10, std::string("\x40\0\0\0\0\0\0\0\0\0\0\x40", 12)), "pw", kind, opened) ==
                SealStatus::TooCostly);
        QVERIFY(OpenSealedBox(with(8, "\x02"), "pw", kind, opened) == SealStatus::Newer);
        QVERIFY(OpenSealedBox(with(9, "\x80"), "pw", kind, opened) == SealStatus::Newer);
        // Padded to a block, so that a box tells the length of what it holds only roughly.
        std::string longer;
        QVERIFY(SealPayload(kKindMessage, "shorter", "pw", longer, cheap) == SealStatus::Ok);
        QCOMPARE(longer.size(), box.size());
        // A box sealed before boxes were padded still opens; a password as typed opens a box
        // sealed with its composed form, and the other way round.
        const std::string old = readFile(MIREL_SOURCE_DIR "/tests/data/seal/unpadded.box");
        QVERIFY(OpenSealedBox(old, "pw", kind, opened) == SealStatus::Ok);
        QCOMPARE(opened.view(), std::string_view("an old box, sealed before padding"));
        const std::u16string composed = u"caf\u00e9", decomposed = u"cafe\u0301";
        QVERIFY(SealPayload(kKindMessage, "accents", decomposed, longer, cheap) == SealStatus::Ok);
        QVERIFY(OpenSealedBox(longer, composed, kind, opened) == SealStatus::Ok);
        QVERIFY(SealPayload(kKindMessage, "accents", "cafe\xCC\x81", longer, cheap) == SealStatus::Ok);  // as typed
        QVERIFY(OpenSealedBox(longer, decomposed, kind, opened) == SealStatus::Ok);
        // What inflates past what memory should hold is held aside in a file, byte for byte.
        std::string large(HeldBytes::kMostInMemory + 3 * 65536 + 7, 'x');
        for (size_t at = 0; at < large.size(); at += 4093)
            large[at] = char(at / 4093);
        QVERIFY(SealPayload(kKindMessage, large, "pw", longer, cheap) == SealStatus::Ok);
        QVERIFY(longer.size() < large.size() / 100);
        QVERIFY(OpenSealedBox(longer, "pw", kind, opened) == SealStatus::Ok);
        QVERIFY(opened.view() == large);
    }

    // The stealth layout through files, with the cheapest key derivation (the layout never says its
    // cost): what goes in comes out; a payload over the capacity is refused with nothing written.
    // 30 x 30 pixels: the capacity takes every slot with k = 1.
    void stealthRoundTrip_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("size");  // -1: the capacity, -2: one byte more
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QByteArray>("opening");  // the password the decoder is given
        const QByteArray composed = "caf\xC3\xA9";
        QTest::newRow("empty file") << 30 << 30 << 0 << 1 << true << composed;
        QTest::newRow("1 byte") << 30 << 30 << 1 << 0 << true << composed;
        QTest::newRow("capacity") << 30 << 30 << -1 << 0 << true << composed;
        QTest::newRow("capacity + 1 refused") << 30 << 30 << -2 << 0 << false << composed;
        QTest::newRow("padded rows, large k") << 301 << 40 << 100 << 1 << true << composed;
        QTest::newRow("too small for any") << 20 << 20 << 0 << 0 << false << composed;
        QTest::newRow("password typed decomposed") << 30 << 30 << 5 << 0 << true << QByteArray("cafe\xCC\x81");
    }
    void stealthRoundTrip()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, size);
        QFETCH(int, kind);
        QFETCH(bool, fits);
        QFETCH(QByteArray, opening);
        StealthChoices cheap;
        cheap.cost = {1, 8192};
        const int64_t capacity = StealthCapacity(int64_t(width) * 3 * height);
        const int64_t length = size == -1 ? capacity : size == -2 ? capacity + 1 : size;
        const std::string payload =
            kind == kKindFile ? FrameFilePayload("e.bin", "") : payloadOf(size_t(length), uint32_t(length));
        const std::string carrier = MakeBmp(ShapeOf(width, height));
        writeFile(work("carrier.bmp"), carrier);
        BinaryFile source;
        QVERIFY(!BinaryFile::openExisting(work("carrier.bmp"), source));
        const std::string output = work(std::string("out ") + QTest::currentDataTag() + ".bmp");
        const CodecResult hidden = HideStealthAt(source, output, payload, uint8_t(kind), "caf\xC3\xA9", cheap);
        if (!fits) {
            QCOMPARE(hidden.status, CodecStatus::Refused);
            QVERIFY(!fileExists(output));
            return;
        }
        QCOMPARE(hidden.status, CodecStatus::Ok);
        const std::string out = readFile(output);
        QCOMPARE(out.size(), carrier.size());
        int64_t changes = 0;
        for (size_t at = 0; at < out.size(); ++at) {
            const int diff = uint8_t(out[at]) - uint8_t(carrier[at]);
            QVERIFY2(diff >= -1 && diff <= 1, "only plus or minus 1");
            changes += diff != 0;
        }
        // Matrix embedding: with room to spare, far fewer changes than hidden bits.
        if (length >= 100 && length * 10 < capacity)
            QVERIFY2(changes * 4 < 8 * length, qPrintable(QString::number(changes)));

        BinaryFile picture;
        BitmapHeader header;
        QVERIFY(!BinaryFile::openExisting(output, picture));
        QCOMPARE(CheckPicture(picture, header).status, CodecStatus::Ok);
        const CodecResult back = RevealStealthFrom(picture, header, opening.toStdString(), cheap.cost);
        QCOMPARE(back.status, CodecStatus::Ok);
        QCOMPARE(back.kind, uint8_t(kind));
        QCOMPARE(back.payload, payload);
        const CodecResult wrong = RevealStealthFrom(picture, header, "cafe", cheap.cost);
        QCOMPARE(wrong.status, CodecStatus::Refused);
        QVERIFY(wrong.payload.empty());
    }

    // In memory: the lowest bit of any cover byte flipped is refused (the capacity takes them all);
    // two encodes of one input differ; and a known picture from a fixed salt and seed at the real
    // cost, so that the layout cannot drift.
    void stealthTampering()
    {
        BmpShape shape = ShapeOf(900, 1);  // 2700 cover bytes
        shape.pattern = Pattern::Photo;
        const std::string carrier = MakeBmp(shape).substr(54);
        // Read as 90 x 10 pixels, so that the encoder weighs its changes by neighbours on every side.
        const auto coverOf = [](std::string& bytes) {
            return StealthCover{reinterpret_cast<uint8_t*>(bytes.data()), int64_t(bytes.size()), 270};
        };
        StealthChoices cheap;
        cheap.cost = {1, 8192};
        const std::string payload = payloadOf(size_t(StealthCapacity(2700)), 5);
        std::string first = carrier;
        std::string second = carrier;
        bool aborted = false;
        QVERIFY(EmbedStealth(coverOf(first), 0, payload, "pw", cheap, aborted) == StealthStatus::Ok);
        QVERIFY(EmbedStealth(coverOf(second), 0, payload, "pw", cheap, aborted) == StealthStatus::Ok);
        QVERIFY(first != second);
        for (int64_t i = 0; i < 2700; ++i) {
            std::string changed = first;
            changed[size_t(i)] = char(changed[size_t(i)] ^ 1);
            uint8_t kind = 9;
            std::string opened;
            QVERIFY2(ExtractStealth(coverOf(changed), "pw", cheap.cost, kind, opened, aborted) != StealthStatus::Ok,
                     qPrintable(QString::number(i)));
            QVERIFY(opened.empty());
        }

        // The tabulated rounds are the hashed ones, and a permutation, whether 2^b is n or beyond it.
        for (const int64_t n : {int64_t(1000), int64_t(4096), int64_t(4097)}) {
            stealth::PermutationKey key {};
            key[5] = uint8_t(n);
            const stealth::Permutation direct(key, n);
            const stealth::Permutation tabulated(key, n, true);
            std::vector<bool> seen(static_cast<size_t>(n));
            for (int64_t x = 0; x < n; ++x) {
                const int64_t y = tabulated(x);
                QVERIFY(y >= 0 && y < n && !seen[size_t(y)] && y == direct(x));
                seen[size_t(y)] = true;
            }
        }

        StealthChoices fixed;
        fixed.salt.emplace();
        fixed.seed.emplace();
        for (size_t k = 0; k < fixed.salt->size(); ++k)
            (*fixed.salt)[k] = uint8_t(k * 17 + 1);
        for (size_t k = 0; k < fixed.seed->size(); ++k)
            (*fixed.seed)[k] = uint8_t(255 - k);
        std::string known = carrier;
        std::fill_n(known.begin(), 900, char(0));  // a dark band, where one change costs more than two
        QVERIFY(EmbedStealth(coverOf(known), 1, FrameFilePayload("a.txt", "known answer"), "p\xC3\xA4ss", fixed,
                             aborted) == StealthStatus::Ok);
        QCOMPARE(QCryptographicHash::hash(QByteArray::fromStdString(known), QCryptographicHash::Sha256).toHex(),
                 QByteArray("a226563028d4b681a146ecbb6bf6c712641b238fcca39249f884599ccdc66a1e"));
    }

    // A carrier that comes through a pipe cannot be copied by the kernel: the copy by hand must
    // give the same picture, rows before and after the stream included.
    void carrierFromAPipe()
    {
        RecordingUi ui;
        const std::string carrier = MakeBmp(ShapeOf(301, 9));
        const std::string payload = payloadOf(150, 8);
        QCOMPARE(::mkfifo(work("pipe.bmp").c_str(), 0600), 0);
        std::thread feeder([&] { writeFile(work("pipe.bmp"), carrier); });
        QCOMPARE(encode(work("pipe.bmp"), work("piped.bmp"), payload, 1, 250), 0);
        feeder.join();
        QCOMPARE(readFile(work("piped.bmp")), expectedPicture(carrier, le32(150) + payload, 1, 250));
    }

    void onlyLowBitsAndOneNinthByteChange()
    {
        RecordingUi ui;
        const std::string carrier = MakeBmp(ShapeOf(301, 6));
        writeFile(work("c.bmp"), carrier);
        for (const uint8_t kind : {uint8_t(0), uint8_t(1)}) {
            QCOMPARE(encode(work("c.bmp"), work("o.bmp"), payloadOf(400, 9), kind, 0), 0);
            const std::string out = readFile(work("o.bmp"));
            QCOMPARE(out.size(), carrier.size());
            int ninthChanged = 0;
            for (size_t at = 0; at < out.size(); ++at) {
                const int diff = uint8_t(out[at]) ^ uint8_t(carrier[at]);
                QVERIFY2(diff == 0 || diff == 1, "only lowest bits may change");
                const int64_t inRow = (int64_t(at) - 54) % 904;
                if (at < 54 || inRow >= 900)  // header, last three data bytes, padding
                    QCOMPARE(diff, 0);
                else if (inRow % 9 == 8 && diff)
                    ++ninthChanged;
            }
            QVERIFY(ninthChanged <= 1);
            QCOMPARE(uint8_t(out[54 + 8]) & 1, int(kind));  // odd for a file, even for a message
        }
    }

    void streamPositions()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(30, 4)));
        // Offset 5: the first length byte lies in group 5, bytes 45 to 53 of the first row.
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), "abc", 0, 5), 0);
        QCOMPARE(gMsgStart, 5);
        const std::string carrier = readFile(work("c.bmp"));
        const std::string out = readFile(work("o.bmp"));
        QCOMPARE(out.substr(54, 45), carrier.substr(54, 45));
        // Three bytes without offset fill groups 0 to 6.
        resetState();
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), "abc", 0, 0), 0);
        QCOMPARE(gMsgStart, 0);
        QCOMPARE(gMsgEnd, 6);
        QCOMPARE(gBytePos, 40);
    }

    void capacityRefusals_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("message");
        // 30 x 3 holds 30 groups: a stream of 31 bytes is one too many, and N is L - 5.
        const QString noRoom = QStringLiteral("there is no room for a message");
        QTest::newRow("one group short") << 30 << 3 << 0 << 27 << "message cannot exceed 26 bytes";
        QTest::newRow("offset counts against it") << 30 << 3 << 10 << 17 << "message cannot exceed 16 bytes";
        QTest::newRow("offset beyond the picture") << 30 << 3 << 40 << 0 << noRoom + " after the offset";
        QTest::newRow("length field only") << 30 << 3 << 26 << 1 << noRoom + " after the offset";
        QTest::newRow("two pixels wide") << 2 << 10 << 0 << 0 << noRoom;
        QTest::newRow("no rows") << 30 << 0 << 0 << 0 << noRoom;
        QTest::newRow("negative height") << 30 << -2 << 0 << 1 << noRoom;
        QTest::newRow("grouped figure") << 3000 << 1 << 0 << 5000 << "message cannot exceed 996 bytes";
        QTest::newRow("grouped thousands") << 3000 << 3 << 0 << 5000 << "message cannot exceed 2,996 bytes";
    }
    void capacityRefusals()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, offset);
        QFETCH(int, size);
        QFETCH(QString, message);
        RecordingUi ui;
        BmpShape shape = ShapeOf(width, height);
        writeFile(work("c.bmp"), MakeBmp(shape));
        writeFile(work("o.bmp"), "an older picture");
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), payloadOf(size_t(size), 3), 0, offset), 1);
        QCOMPARE(QString::fromStdString(ui.onlyMessage()), "Due to size of picture, " + message);
        QVERIFY(ui.messages[0].icon == MsgIcon::None);
        QCOMPARE(readFile(work("o.bmp")), std::string("an older picture"));
        QCOMPARE(gMsgStart, 0);
        QCOMPARE(gBytePos, 0);
    }

    void abortAfterRowK()
    {
        RecordingUi ui;
        const BmpShape shape = ShapeOf(30, 30);
        writeFile(work("c.bmp"), MakeBmp(shape));
        ui.onYield = [](int n) {
            if (n == 4)
                gAbort = true;
        };
        writeFile(work("o.bmp"), "an older picture");
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), payloadOf(200, 1), 1, 0), 0);
        QVERIFY(ui.messages.empty());
        QVERIFY(gAbort);
        QCOMPARE(ui.yields, 4);
        QCOMPARE(gBytePos, 40);
        // Nothing of the new picture: the old file as it was, and nothing beside it.
        QCOMPARE(readFile(work("o.bmp")), std::string("an older picture"));
        QCOMPARE(QDir(test::at(QString())).entryList(QDir::Files | QDir::Hidden).filter("o.bmp").size(), 1);

        // An aborted decode hands back nothing either.
        const std::string full = expectedPicture(MakeBmp(shape), le32(200) + payloadOf(200, 1), 1, 0);
        writeFile(work("full.bmp"), full);
        resetState();
        ui.yields = 0;
        ui.onYield = [](int n) {
            if (n == 6)
                gAbort = true;
        };
        CodecStatus status = CodecStatus::Ok;
        QCOMPARE(decode(work("full.bmp"), 0, &status), std::string());
        QVERIFY(status == CodecStatus::Aborted);
        QCOMPARE(ui.yields, 6);
    }

    void abortBeforeTheLengthIsComplete()
    {
        RecordingUi ui;
        // The length field starts in the last group of the first row.
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(30, 3)));
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), "hello", 1, 9), 0);
        resetState();
        ui.onYield = [](int) { gAbort = true; };
        CodecStatus status = CodecStatus::Ok;
        QCOMPARE(decode(work("o.bmp"), 9, &status), std::string());
        QVERIFY(status == CodecStatus::Aborted);
        resetState();
        ui.onYield = nullptr;
        QCOMPARE(decode(work("o.bmp"), 9), std::string("\x01hello"));
    }

    void destinationHandling()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(9, 2)));
        // An existing, longer destination is deleted first: nothing of it survives.
        writeFile(work("o.bmp"), std::string(5000, 'x'));
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), "hi", 0, 0), 0);
        QCOMPARE(readFile(work("o.bmp")).size(), size_t(54 + 2 * 28));

        // A carrier that is not a bitmap leaves the destination alone.
        writeFile(work("text.bmp"), "Just some text, no picture.");
        writeFile(work("keep.bmp"), "keep me");
        QCOMPARE(encode(work("text.bmp"), work("keep.bmp"), "hi", 0, 0), 1);
        QCOMPARE(ui.onlyMessage(), std::string("Bitmap doesn't appear to be in Windows format."));
        QVERIFY(ui.messages[0].icon == MsgIcon::Information);
        QCOMPARE(readFile(work("keep.bmp")), std::string("keep me"));

        // A missing carrier or picture, also behind a dangling link, is not found, and nothing is
        // made where it should be.
        QVERIFY(QFile::link(QString::fromStdString(work("ghost-target.bmp")), QString::fromStdString(work("dangling.bmp"))));
        for (const std::string& missing : {work("ghost.bmp"), work("dangling.bmp")}) {
            ui.messages.clear();
            QCOMPARE(encode(missing, work("keep.bmp"), "hi", 0, 0), 2);
            QCOMPARE(ui.onlyMessage().substr(0, 20), std::string("Encoding Error #53\r\n"));
            QCOMPARE(readFile(work("keep.bmp")), std::string("keep me"));
            ui.messages.clear();
            QCOMPARE(decode(missing, 0), std::string());
            QCOMPARE(ui.onlyMessage().substr(0, 20), std::string("Decoding Error #53\r\n"));
        }
        QVERIFY(!fileExists(work("ghost.bmp")) && !fileExists(work("ghost-target.bmp")));
    }

    void newPictureNeverReplacesItsCarrier_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("same path") << "self.bmp";
        QTest::newRow("another spelling") << "./self.bmp";
        QTest::newRow("through a link") << "link.bmp";
    }
    void newPictureNeverReplacesItsCarrier()
    {
        QFETCH(QString, destination);
        RecordingUi ui;
        const std::string carrier = MakeBmp(ShapeOf(30, 3));
        writeFile(work("self.bmp"), carrier);
        QFile::remove(QString::fromStdString(work("link.bmp")));
        QVERIFY(QFile::link(QString::fromStdString(work("self.bmp")), QString::fromStdString(work("link.bmp"))));
        QCOMPARE(encode(work("self.bmp"), work(destination.toStdString()), "x", 0, 0), 1);
        QVERIFY(ui.onlyMessage().find("own carrier") != std::string::npos);
        QCOMPARE(readFile(work("self.bmp")), carrier);
    }

    void negativeOffsetIsRefused()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(30, 3)));
        writeFile(work("keep.bmp"), "keep me");
        QCOMPARE(encode(work("c.bmp"), work("keep.bmp"), "x", 0, -3), 1);
        QCOMPARE(ui.onlyMessage(), std::string("The offset must be 0 or more."));
        QVERIFY(ui.messages[0].icon == MsgIcon::Information);
        QCOMPARE(readFile(work("keep.bmp")), std::string("keep me"));

        ui.messages.clear();
        CodecStatus status = CodecStatus::Ok;
        QCOMPARE(decode(work("c.bmp"), -1, &status), std::string());
        QCOMPARE(ui.onlyMessage(), std::string("The offset must be 0 or more."));
        QVERIFY(status == CodecStatus::Refused);
    }

    void malformedPictures_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rowsWritten");
        QTest::addColumn<int>("code");
        QTest::newRow("negative width") << -30 << 3 << 0 << 5;
        QTest::newRow("huge width") << 0x7FFFFFFF << 1 << 0 << 6;
        QTest::newRow("huge width and height") << 0x10000000 << 0x10000000 << 0 << 6;
        QTest::newRow("rows missing") << 30 << 50 << 10 << 62;
        QTest::newRow("large rows, small file") << 200000000 << 2 << 0 << 62;
    }
    void malformedPictures()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rowsWritten);
        QFETCH(int, code);
        RecordingUi ui;
        BmpShape shape = ShapeOf(width, height);
        shape.rowsWritten = rowsWritten;
        writeFile(work("bad.bmp"), MakeBmp(shape));

        QCOMPARE(encode(work("bad.bmp"), work("o.bmp"), "x", 0, 0), 2);
        QCOMPARE(ui.messages.size(), size_t(1));
        const std::string prefix = "Encoding Error #" + std::to_string(code) + "\r\n\r\n";
        QCOMPARE(ui.messages[0].text.substr(0, prefix.size()), prefix);

        ui.messages.clear();
        CodecStatus status = CodecStatus::Ok;
        QCOMPARE(decode(work("bad.bmp"), 0, &status), std::string());
        QCOMPARE(ui.messages.size(), size_t(1));
        QCOMPARE(ui.messages[0].text.substr(0, 16), std::string("Decoding Error #"));
        QVERIFY(status == CodecStatus::Failed);
    }

    void truncatedHeaderAndNarrowPicture()
    {
        RecordingUi ui;
        writeFile(work("short.bmp"), MakeBmp(ShapeOf(30, 3)).substr(0, 30));
        QCOMPARE(encode(work("short.bmp"), work("o.bmp"), "x", 0, 0), 2);
        QCOMPARE(ui.messages.back().text.substr(0, 19), std::string("Encoding Error #62\r"));
        QVERIFY(!fileExists(work("o.bmp")) || readFile(work("o.bmp")) != std::string());

        // Less than three pixels wide: there is no whole group to take a byte from.
        writeFile(work("narrow.bmp"), MakeBmp(ShapeOf(2, 5)));
        ui.messages.clear();
        QCOMPARE(decode(work("narrow.bmp"), 0), std::string());
        QCOMPARE(ui.onlyMessage().substr(0, 18), std::string("Decoding Error #9\r"));
    }

    void decoderEdges()
    {
        RecordingUi ui;
        const BmpShape shape = ShapeOf(30, 3);
        const std::string carrier = MakeBmp(shape);

        // Stored length 0: the kind byte alone.
        writeFile(work("zero.bmp"), expectedPicture(carrier, le32(0), 1, 0));
        QCOMPARE(decode(work("zero.bmp"), 0), std::string("\x01"));

        // A length that the picture holds, but not after the offset: nothing is made up.
        writeFile(work("short.bmp"), expectedPicture(carrier, le32(25) + "0123456789abcdefghijklmn", 0, 2));
        QCOMPARE(decode(work("short.bmp"), 2), std::string());
        QVERIFY(ui.onlyMessage().find("Decoding Error #7\r\n\r\nOut of memory (the picture announces 25 bytes but "
                                      "can hold at most 24 after the offset)") == 0);
        ui.messages.clear();
        QCOMPARE(decode(work("short.bmp"), 0), std::string());  // the wrong offset: another length

        // A length the picture cannot hold comes from a picture without a stream.
        ui.messages.clear();
        writeFile(work("big.bmp"), expectedPicture(carrier, le32(27), 0, 0));
        QCOMPARE(decode(work("big.bmp"), 0), std::string());
        QCOMPARE(ui.onlyMessage().substr(0, 19), std::string("Decoding Error #7\r\n"));

        // An offset that leaves no room for the length field.
        ui.messages.clear();
        QCOMPARE(decode(work("big.bmp"), 27), std::string());
        QCOMPARE(ui.onlyMessage().substr(0, 19), std::string("Decoding Error #9\r\n"));

        // A fourth length byte of 128 or more: the overflow message and the kind byte alone.
        ui.messages.clear();
        writeFile(work("ovf.bmp"), expectedPicture(carrier, le32(0x80000005u), 1, 0));
        QCOMPARE(decode(work("ovf.bmp"), 0), std::string("\x01"));
        QCOMPARE(ui.onlyMessage(), std::string("StringToLong Error #6\r\n\r\nOverflow"));

        // Only the first stream group's ninth byte tells the kind.
        std::string odd = expectedPicture(carrier, le32(3) + "abc", 0, 0);
        for (int g = 1; g < 10; ++g)
            odd[size_t(54 + g * 9 + 8)] |= 1;
        writeFile(work("kind.bmp"), odd);
        QCOMPARE(decode(work("kind.bmp"), 0), std::string("\x00" "abc", 4));
    }

    void decoderReadsOnlyTheRowsItNeeds()
    {
        RecordingUi ui;
        const BmpShape shape = ShapeOf(300, 50);
        const std::string stream = le32(20) + "twenty bytes of text";
        const std::string picture = expectedPicture(MakeBmp(shape), stream, 0, 0);
        // Cut the file after its first row: a decoder that read further would fail.
        writeFile(work("cut.bmp"), picture.substr(0, 54 + 900));
        QCOMPARE(decode(work("cut.bmp"), 0), std::string("\x00", 1) + "twenty bytes of text");
        QCOMPARE(ui.yields, 0);
        QVERIFY(ui.messages.empty());

        // The last byte in the last group of a row, and the file cut right after that row: every
        // byte is there.
        const std::string full = expectedPicture(MakeBmp(shape), le32(196) + payloadOf(196, 3), 1, 0);
        writeFile(work("cut2.bmp"), full.substr(0, 54 + 2 * 900));
        QCOMPARE(decode(work("cut2.bmp"), 0), std::string("\x01") + payloadOf(196, 3));
        QVERIFY(ui.messages.empty());
    }

    void decoderUsesTheOffsetItIsHanded()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(30, 5)));
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), "moved", 0, 17), 0);
        resetState();
        QCOMPARE(decode(work("o.bmp"), 17), std::string("\x00moved", 6));
        QCOMPARE(offsetLeft, 0);
    }

    void readStreamBack()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(31, 20)));
        const std::string payload = payloadOf(120, 4);
        QCOMPARE(encode(work("c.bmp"), work("o.bmp"), payload, 1, 23), 0);
        const int encoderYields = ui.yields;
        std::string bytes;
        uint8_t kind = 0;
        QVERIFY(!ReadStream(work("o.bmp"), 23, 124, bytes, kind));
        QCOMPARE(bytes, le32(120) + payload);
        QCOMPARE(int(kind), 1);
        // One flipped bit in a group of the stream shows.
        std::string picture = readFile(work("o.bmp"));
        picture[size_t(54 + 2 * 96 + 4 * 9 + 2)] ^= 1;  // third row, fifth group: the second stream byte
        writeFile(work("o.bmp"), picture);
        QVERIFY(!ReadStream(work("o.bmp"), 23, 124, bytes, kind));
        QVERIFY(bytes != le32(120) + payload);
        // Past the end of the picture, or of the file.
        QCOMPARE(ReadStream(work("o.bmp"), 190, 11, bytes, kind).code, ErrorCode::SubscriptOutOfRange);
        writeFile(work("o.bmp"), picture.substr(0, 54 + 96 * 3));
        QCOMPARE(ReadStream(work("o.bmp"), 23, 124, bytes, kind).code, ErrorCode::InputPastEnd);
        QVERIFY(ui.messages.empty());
        QCOMPARE(ui.yields, encoderYields);  // reading back yields nothing
    }

    void cutOffPictureAnnouncingMuchFailsAtOnce()
    {
        RecordingUi ui;
        // The header promises 100,000 rows; the file holds two, and announces 999,000 bytes.
        BmpShape shape = ShapeOf(30, 100000);
        shape.rowsWritten = 2;
        const std::string carrier = MakeBmp(shape);
        writeFile(work("cut.bmp"), expectedPicture(carrier, le32(999000), 0, 0));
        QCOMPARE(decode(work("cut.bmp"), 0), std::string());
        QCOMPARE(ui.yields, 0);  // it did not walk on until the end of the file
        QCOMPARE(ui.onlyMessage().substr(0, 20), std::string("Decoding Error #62\r\n"));
        QVERIFY(ui.onlyMessage().find("999,000") != std::string::npos);

        // What the file does hold still decodes.
        ui.messages.clear();
        writeFile(work("cut2.bmp"), expectedPicture(carrier, le32(5) + "short", 1, 0));
        QCOMPARE(decode(work("cut2.bmp"), 0), std::string("\x01short"));
    }

    // Only a file can be replaced: a folder, a FIFO or a device is refused before anything is
    // read, and stays what it was.
    void destinationsThatAreNoFile()
    {
        RecordingUi ui;
        writeFile(work("c.bmp"), MakeBmp(ShapeOf(30, 3)));
        QDir().mkpath(QString::fromStdString(work("adir")));
        QCOMPARE(::mkfifo(work("fifo").c_str(), 0600), 0);
        for (const std::string& destination : {work("adir"), work("fifo"), std::string("/dev/null")}) {
            ui.messages.clear();
            QCOMPARE(encode(work("c.bmp"), destination, "x", 0, 0), 1);
            QVERIFY2(ui.onlyMessage().find("cannot be saved as " + destination + ": it is a") != std::string::npos,
                     ui.onlyMessage().c_str());
        }
        QVERIFY(QFileInfo(QString::fromStdString(work("adir"))).isDir());
        struct stat st {};
        QVERIFY(::lstat(work("fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
