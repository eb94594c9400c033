// Random round trips through the codec and the cipher: whatever goes in comes back out, and the
// picture differs from its carrier only where the format allows.
#include "BmpBuilder.h"
#include "CipherMirel.h"
#include "RecordingUi.h"
#include "TestFiles.h"
#include "VBEncrypt.h"

#include <QTest>

#include <random>

using namespace mirel;

namespace {

constexpr int kRounds = 3000;

std::string bytesOf(std::mt19937& rng, size_t size)
{
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string readAll(const std::string& path)
{
    return test::readFile(QString::fromStdString(path)).toStdString();
}

// Checks that picture is carrier with the stream's groups changed only in their low bits (and,
// in the first group, the ninth byte's low bit), and everything else as it was.
QString differenceOutsideTheStream(const std::string& carrier, const std::string& picture, int32_t width,
                                   int32_t height, int64_t firstGroup, int64_t streamLength)
{
    const int64_t stride = test::StrideOf(width);
    const int64_t perRow = width / 3;
    if (picture.size() != size_t(54 + stride * std::max(height, 0)))
        return QStringLiteral("length %1").arg(picture.size());
    if (picture.compare(0, 54, carrier, 0, 54) != 0)
        return QStringLiteral("header");
    for (size_t at = 54; at < picture.size(); ++at) {
        const int diff = uint8_t(picture[at]) ^ uint8_t(carrier[at]);
        if (diff == 0)
            continue;
        const int64_t inRow = (int64_t(at) - 54) % stride;
        const int64_t group = (int64_t(at) - 54) / stride * perRow + inRow / 9;
        const int64_t inGroup = inRow % 9;
        const bool inStream = inRow < perRow * 9 && group >= firstGroup && group < firstGroup + streamLength;
        const bool allowed = diff == 1 && inStream && (inGroup < 8 || group == firstGroup);
        if (!allowed)
            return QStringLiteral("byte %1 (group %2, byte %3 of it)").arg(at).arg(group).arg(inGroup);
    }
    return {};
}

}  // namespace

class TestProperty : public QObject {
    Q_OBJECT

private slots:
    void randomRoundTrips()
    {
        const uint32_t seed = qEnvironmentVariableIsSet("MIREL_PROPERTY_SEED")
                                  ? uint32_t(qEnvironmentVariableIntValue("MIREL_PROPERTY_SEED"))
                                  : 20261207u;
        std::mt19937 rng(seed);
        test::RecordingUi ui;
        const std::string carrierPath = test::at("carrier.bmp").toStdString();
        const std::string picturePath = test::at("picture.bmp").toStdString();
        int encoded = 0;
        int refused = 0;

        for (int round = 0; round < kRounds; ++round) {
            const QByteArray context = QStringLiteral("seed %1, round %2").arg(seed).arg(round).toUtf8();
            // Widths 1 to 8 often, wider ones too; heights from none to a few dozen rows.
            const int32_t width = rng() % 3 ? int32_t(1 + rng() % 8) : int32_t(9 + rng() % 120);
            const int32_t height = int32_t(rng() % 40);
            test::BmpShape shape = test::ShapeOf(width, height);
            shape.seed = rng();
            shape.tail = bytesOf(rng, rng() % 4 ? 0 : rng() % 50);
            const std::string carrier = test::MakeBmp(shape);
            test::writeFile(QString::fromStdString(carrierPath), QByteArray::fromStdString(carrier));

            const int64_t groups = int64_t(width / 3) * height;
            const int32_t offset = int32_t(groups > 0 ? rng() % (groups + 2) : rng() % 3);
            const size_t room = size_t(std::max<int64_t>(groups - offset - 4, 0));
            size_t size = rng() % 8 == 0 ? room + 1 + rng() % 5 : (room ? rng() % (room + 1) : 0);
            const uint8_t kind = uint8_t(rng() & 1);
            const std::string password = bytesOf(rng, rng() % 4 ? rng() % 20 : rng() % 301);
            const std::string content = bytesOf(rng, size);
            const std::string payload = password.empty() ? content : CryptString(content, password);

            ui.messages.clear();
            gAbort = false;
            gBytePos = gMsgStart = gMsgEnd = 0;
            int32_t left = offset;
            const std::string before = readAll(picturePath);
            const int32_t result = ui.encode(carrierPath, picturePath, payload, kind, left);
            const bool fits = int64_t(offset) + 4 + int64_t(size) <= groups;
            if (!fits) {
                QVERIFY2(result == 1, context);
                QVERIFY2(ui.onlyMessage().rfind("Due to size of picture, ", 0) == 0, context);
                QVERIFY2(readAll(picturePath) == before, context);
                ++refused;
                continue;
            }
            QVERIFY2(result == 0 && ui.messages.empty(), context);
            QVERIFY2(gMsgStart == offset && gMsgEnd == offset + int32_t(size) + 3 && gBytePos == groups, context);
            const QString difference = differenceOutsideTheStream(carrier, readAll(picturePath), width, height,
                                                                  offset, int64_t(size) + 4);
            QVERIFY2(difference.isEmpty(), context + " changed " + difference.toUtf8());

            left = offset;
            const CodecResult found = ui.decode(picturePath, left);
            QVERIFY2(found.status == CodecStatus::Ok, context);
            const std::string decoded = static_cast<char>(found.kind) + found.payload;
            QVERIFY2(ui.messages.empty(), context);
            QVERIFY2(decoded.size() == size + 1 && uint8_t(decoded[0]) == kind, context);
            const std::string back = password.empty() ? decoded.substr(1) : CryptString(decoded.substr(1), password);
            QVERIFY2(back == content, context);
            ++encoded;
        }
        // Both outcomes were well represented.
        QVERIFY(encoded > kRounds / 2);
        QVERIFY(refused > kRounds / 20);
    }

    // Every payload size from nothing to the last byte that fits comes back exactly, with and
    // without a password and an offset; one byte more is refused.
    void everySizeUpToTheCapacity()
    {
        test::RecordingUi ui;
        const std::string carrierPath = test::at("every.bmp").toStdString();
        const std::string picturePath = test::at("every-out.bmp").toStdString();
        test::writeFile(QString::fromStdString(carrierPath), QByteArray::fromStdString(test::MakeBmp(test::ShapeOf(31, 5))));
        std::mt19937 rng(7);
        for (const int32_t offset : {0, 7}) {
            for (const std::string password : {"", "pw"}) {
                const int64_t capacity = 10 * 5 - offset - 4;
                for (int64_t size = 0; size <= capacity + 1; ++size) {
                    const std::string content = bytesOf(rng, size_t(size));
                    const std::string payload = password.empty() ? content : CryptString(content, password);
                    int32_t left = offset;
                    const int32_t result = ui.encode(carrierPath, picturePath, payload, uint8_t(size & 1), left);
                    QCOMPARE(result, size <= capacity ? 0 : 1);
                    if (result != 0)
                        continue;
                    left = offset;
                    const CodecResult found = ui.decode(picturePath, left);
                    const std::string decoded = static_cast<char>(found.kind) + found.payload;
                    QCOMPARE(decoded.size(), size_t(size) + 1);
                    QCOMPARE(int(decoded[0]), int(size & 1));
                    const std::string back =
                        password.empty() ? decoded.substr(1) : CryptString(decoded.substr(1), password);
                    QCOMPARE(back, content);
                }
            }
        }
        QCOMPARE(ui.messages.size(), size_t(4));  // the four refusals
    }
};

QTEST_GUILESS_MAIN(TestProperty)
#include "test_property.moc"
