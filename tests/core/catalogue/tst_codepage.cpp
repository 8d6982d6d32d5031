#include "CodePage.h"

#include <QTest>

using namespace kovra;

class tst_CodePage : public QObject
{
    Q_OBJECT

private slots:
    // The programs refuse to start without the converter; here it is there, and a missing one is told.
    void reportsWhetherTheConverterIsThere()
    {
        QString reason = QStringLiteral("unset");
        QVERIFY(codepage::available(&reason));
        QVERIFY(reason.isEmpty());
        QVERIFY(codepage::converterProblem("CP932").isEmpty());
        const QString problem = codepage::converterProblem("KOVRA-NO-SUCH-CODE-PAGE");
        QVERIFY2(problem.startsWith(QStringLiteral("iconv_open(")) &&
                     problem.contains(QStringLiteral("KOVRA-NO-SUCH-CODE-PAGE")),
                 qPrintable(problem));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Box 12") << QByteArray("Box 12");
        QTest::newRow("wave dash") << QStringLiteral("～") << QByteArray("\x81\x60");
        QTest::newRow("circled one") << QStringLiteral("①") << QByteArray("\x87\x40");
        QTest::newRow("kabushiki") << QStringLiteral("㈱") << QByteArray("\x87\x8a");
        QTest::newRow("so with 5C trail") << QStringLiteral("ソ") << QByteArray("\x83\x5c");
        QTest::newRow("halfwidth kana") << QStringLiteral("ｶﾞ") << QByteArray("\xb6\xde");
        QTest::newRow("backslash") << QStringLiteral("\\") << QByteArray("\\");
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(codepage::encode(text).value_or(QByteArray("<none>")), bytes);
        QCOMPARE(codepage::decode(bytes), text);
    }

    void refusesWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("surrogate pair") << QStringLiteral("𠮷");
        QTest::newRow("emoji") << QStringLiteral("箱😀");
        QTest::newRow("latin accent") << QStringLiteral("café");
        QTest::newRow("hangul") << QStringLiteral("한");
        QTest::newRow("yen sign has no round trip") << QStringLiteral("¥");
    }
    void refusesWhatItCannotHold()
    {
        QFETCH(QString, text);
        QVERIFY(!codepage::encode(text));
        QVERIFY(!codepage::canEncode(text));
    }

    void typedCharactersBecomeTheirCodePageForm_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("mapped");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("wave dash") << QStringLiteral("〜") << QStringLiteral("～") << QByteArray("\x81\x60");
        QTest::newRow("minus sign") << QStringLiteral("−") << QStringLiteral("－") << QByteArray("\x81\x7c");
        QTest::newRow("double vertical line") << QStringLiteral("‖") << QStringLiteral("∥") << QByteArray("\x81\x61");
        QTest::newRow("cent") << QStringLiteral("¢") << QStringLiteral("￠") << QByteArray("\x81\x91");
        QTest::newRow("pound") << QStringLiteral("£") << QStringLiteral("￡") << QByteArray("\x81\x92");
        QTest::newRow("not sign") << QStringLiteral("¬") << QStringLiteral("￢") << QByteArray("\x81\xca");
        QTest::newRow("em dash") << QStringLiteral("—") << QStringLiteral("―") << QByteArray("\x81\x5c");
        QTest::newRow("yen sign") << QStringLiteral("¥100") << QStringLiteral("\\100") << QByteArray("\\100");
        QTest::newRow("mixed text keeps the rest") << QStringLiteral("A〜B−箱") << QStringLiteral("A～B－箱")
                                                   << QByteArray("A\x81\x60"
                                                                 "B\x81\x7c\x94\xa0");
        QTest::newRow("already in the code page's form")
            << QStringLiteral("～－") << QStringLiteral("～－") << QByteArray("\x81\x60\x81\x7c");
    }
    void typedCharactersBecomeTheirCodePageForm()
    {
        QFETCH(QString, typed);
        QFETCH(QString, mapped);
        QFETCH(QByteArray, bytes);
        QVERIFY(!codepage::canEncode(typed) || typed == mapped);
        QCOMPARE(codepage::mapTyped(typed), mapped);
        QCOMPARE(codepage::encode(codepage::mapTyped(typed)).value_or(QByteArray("<none>")), bytes);
    }

    void mappingLeavesUnstorableCharactersRefused()
    {
        QCOMPARE(codepage::mapTyped(u"𠮷é"), QStringLiteral("𠮷é"));
        QVERIFY(!codepage::canEncode(codepage::mapTyped(u"〜𠮷")));
    }

    void everyDecodedCharacterCanBeWrittenBack()
    {
        // Otherwise an item read from a Windows file could not be saved again.
        int pairs = 0;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!codepage::isLeadByte(quint8(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                const QString text = codepage::decode(QByteArrayView(pair, 2));
                if (text == u"\uFFFD")
                    continue;
                ++pairs;
                const auto back = codepage::encode(text);
                QVERIFY2(back && codepage::decode(*back) == text, qPrintable(QString::number(lead << 8 | trail, 16)));
            }
        }
        QVERIFY(pairs > 7000);
    }

    void invalidBytesDecodeToReplacement()
    {
        QCOMPARE(codepage::decode(QByteArray("a\xa0"
                                             "b")),
                 QStringLiteral("a\uFFFDb"));
        QCOMPARE(codepage::decode(QByteArray("a\x83")), QStringLiteral("a\uFFFD")); // lead byte at the end
    }

    void safeCutNeverSplitsACharacter()
    {
        const QByteArray b("A\x83\x5c"
                           "B"); // A ソ B
        QCOMPARE(codepage::safeCut(b, 0), 0);
        QCOMPARE(codepage::safeCut(b, 1), 1);
        QCOMPARE(codepage::safeCut(b, 2), 1);
        QCOMPARE(codepage::safeCut(b, 3), 3);
        QCOMPARE(codepage::safeCut(b, 99), 4);
    }
};

QTEST_GUILESS_MAIN(tst_CodePage)
#include "tst_codepage.moc"
