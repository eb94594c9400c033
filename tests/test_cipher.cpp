#include "VBEncrypt.h"

#include <QTest>

using mirel::CryptString;

namespace {
QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}
std::string str(const QByteArray& a)
{
    return std::string(a.constData(), static_cast<size_t>(a.size()));
}
}  // namespace

class TestCipher : public QObject {
    Q_OBJECT

private slots:
    void knownAnswers_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Key/Plaintext") << QByteArray("Key") << QByteArray("Plaintext")
                                       << QByteArray::fromHex("BBF316E8D940AF0AD3");
        QTest::newRow("Wiki/pedia") << QByteArray("Wiki") << QByteArray("pedia")
                                    << QByteArray::fromHex("1021BF0420");
        QTest::newRow("Secret/Attack at dawn") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                               << QByteArray::fromHex("45A01F645FC35B383552544B9BF5");
        // Zeros give the bare keystream.
        QTest::newRow("keystream 0102030405") << QByteArray::fromHex("0102030405") << QByteArray(8, '\0')
                                              << QByteArray::fromHex("B2396305F03DC027");
    }
    void knownAnswers()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(bytes(CryptString(str(text), str(key))), expected);
        // The keystream starts afresh: a second call gives the same, and undoes the first.
        QCOMPARE(bytes(CryptString(str(text), str(key))), expected);
        QCOMPARE(bytes(CryptString(str(expected), str(key))), text);
    }

    void emptyInputs()
    {
        QCOMPARE(CryptString("some text", ""), std::string());
        QCOMPARE(CryptString("", "pw"), std::string());
    }

    void everyByteRoundTripsAndLengthIsKept()
    {
        std::string all;
        for (int k = 0; k < 256; ++k)
            all += static_cast<char>(k);
        all += all;  // NUL in the middle as well as at the start
        const std::string enciphered = CryptString(all, "pass\x01\xff word");
        QCOMPARE(enciphered.size(), all.size());
        QVERIFY(enciphered != all);
        QCOMPARE(CryptString(enciphered, "pass\x01\xff word"), all);
    }

    void keyRepeatsCyclically()
    {
        const std::string text = "The quick brown fox";
        QCOMPARE(CryptString(text, "abab"), CryptString(text, "ab"));
        QVERIFY(CryptString(text, "abc") != CryptString(text, "ab"));
        const std::string longKey = std::string(256, 'k') + "tail that does not count";
        QCOMPARE(CryptString(text, longKey), CryptString(text, std::string(256, 'k')));
        std::string key257(256, 'x');
        key257[5] = 'y';
        QVERIFY(CryptString(text, key257) != CryptString(text, std::string(256, 'x')));
    }

    void noChainingBetweenCalls()
    {
        const std::string first = CryptString("message", "one");
        CryptString("something else entirely", "two");
        QCOMPARE(CryptString("message", "one"), first);
    }
};

QTEST_GUILESS_MAIN(TestCipher)
#include "test_cipher.moc"
