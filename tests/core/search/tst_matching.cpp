#include "CodePage.h"
#include "Matching.h"

#include <QTest>

using namespace kovra;
using namespace Qt::Literals::StringLiterals;

// The matching rule. Where it differs from a plain substring match, or from the Japanese Windows
// comparison the catalogue was made with, the row's name says so.
class tst_Matching : public QObject
{
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("hit");

        QTest::newRow("ペン in ボールペン") << u"ペン"_s << u"ボールペン"_s << true;
        QTest::newRow("ペン in ペンチ") << u"ペン"_s << u"ペンチ"_s << true;
        QTest::newRow("ペン not in ペーパー") << u"ペン"_s << u"ペーパー"_s << false;
        QTest::newRow("PEN finds pen") << u"PEN"_s << u"pen"_s << true;
        QTest::newRow("pen finds PEN case") << u"pen"_s << u"PENCASE"_s << true;
        QTest::newRow("full-width USB finds usb") << u"ＵＳＢ"_s << u"usbメモリ"_s << true;
        QTest::newRow("usb finds full-width USB") << u"usb"_s << u"ＵＳＢケーブル"_s << true;
        QTest::newRow("full-width lower finds upper") << u"ｕｓｂ"_s << u"USB"_s << true;
        QTest::newRow("Greek case") << u"αβγ"_s << u"ΑΒΓ"_s << true;
        QTest::newRow("full-width digits") << u"１２"_s << u"No.12"_s << true;
        QTest::newRow("half-width kana finds full-width") << u"ｶﾞﾑﾃｰﾌﾟ"_s << u"布ガムテープ"_s << true;
        QTest::newRow("full-width finds half-width kana") << u"ガムテープ"_s << u"ｶﾞﾑﾃｰﾌﾟ"_s << true;
        QTest::newRow("half-width voiced mark composes") << u"ガ"_s << u"ｶﾞ"_s << true;
        QTest::newRow("half-width semi-voiced mark composes") << u"パ"_s << u"ﾊﾟｿｺﾝ"_s << true;
        QTest::newRow("voiced is not plain") << u"バ"_s << u"ﾊﾟ"_s << false;
        QTest::newRow("hiragana finds katakana") << u"ぱそこん"_s << u"ノートパソコン"_s << true;
        QTest::newRow("katakana finds hiragana") << u"ハサミ"_s << u"はさみ"_s << true;
        QTest::newRow("long vowel mark in hiragana") << u"すーぱー"_s << u"スーパーの袋"_s << true;
        QTest::newRow("hiragana finds half-width kana") << u"すーぱー"_s << u"ｽｰﾊﾟｰ"_s << true;
        QTest::newRow("small kana") << u"ぁ"_s << u"ァ"_s << true;
        QTest::newRow("iteration marks") << u"ゞ"_s << u"ヾ"_s << true;
        QTest::newRow("わ with half-width voiced mark") << u"ヷ"_s << u"わﾞ"_s << false;
        QTest::newRow("ワ with half-width voiced mark") << u"ヷ"_s << u"ﾜﾞ"_s << true;
        QTest::newRow("kanji unchanged") << u"電池"_s << u"単三電池"_s << true;
        QTest::newRow("blank is a search text") << u" "_s << u"AC アダプター"_s << true;
        QTest::newRow("blank finds the full-width blank") << u" "_s << u"単三　電池"_s << true;
        QTest::newRow("blank not in a name without one") << u" "_s << u"電池"_s << false;
        QTest::newRow("no trimming of the text") << u" ペン"_s << u"ペンチ"_s << false;
        QTest::newRow("text with a blank") << u" ペン"_s << u"赤 ペン"_s << true;
        QTest::newRow("no wildcard star") << u"ペ*"_s << u"ペン"_s << false;
        QTest::newRow("no wildcard question mark") << u"ペ?"_s << u"ペン"_s << false;
        QTest::newRow("question mark itself") << u"?"_s << u"何?"_s << true;
        QTest::newRow("whole item") << u"ペンチ"_s << u"ペンチ"_s << true;
        QTest::newRow("longer than the item") << u"ペンチ入れ"_s << u"ペンチ"_s << false;
        QTest::newRow("wave dash width") << u"~"_s << u"A～B"_s << true;
        // Typed forms that input methods give for the code page's characters.
        QTest::newRow("typed wave dash finds ～") << u"〜"_s << u"A～B"_s << true;
        QTest::newRow("typed ～ finds ～") << u"～"_s << u"A～B"_s << true;
        QTest::newRow("typed yen sign finds byte 5C") << u"¥100"_s << u"\\100"_s << true;
        QTest::newRow("typed minus sign finds －") << u"−5"_s << u"－5度"_s << true;
        QTest::newRow("typed em dash finds ―") << u"A—B"_s << u"A―B"_s << true;
        QTest::newRow("typed double line finds ∥") << u"‖"_s << u"∥"_s << true;

        // Differences from a plain substring match: a half-width voiced mark belongs to its letter.
        QTest::newRow("differs: ｶ does not find ｶﾞ") << u"ｶ"_s << u"ｶﾞﾑ"_s << false;
        QTest::newRow("differs: ﾞ alone does not find ｶﾞ") << u"ﾞ"_s << u"ｶﾞ"_s << false;
        QTest::newRow("a mark without a letter is the spacing mark") << u"ア゛"_s << u"ｱﾞ"_s << true;

        // Compatibility forms other than width keep their identity, as in the Windows comparison
        // (full compatibility normalisation would make each of these a hit).
        QTest::newRow("kept apart: ① is not 1") << u"1"_s << u"①"_s << false;
        QTest::newRow("kept apart: Ⅲ is not III") << u"III"_s << u"Ⅲ"_s << false;
        QTest::newRow("kept apart: ㌔ is not キロ") << u"キロ"_s << u"㌔"_s << false;
        QTest::newRow("kept apart: ㈱ is not (株)") << u"(株)"_s << u"㈱"_s << false;
        QTest::newRow("kept apart: ㎝ is not cm") << u"cm"_s << u"10㎝"_s << false;
        QTest::newRow("kept apart: ゛ is not a combining mark") << u"ガ"_s << u"カ゛"_s << false;
        QTest::newRow("① finds ①") << u"①"_s << u"箱①"_s << true;
        QTest::newRow("ⅲ and Ⅲ differ in case only") << u"ⅲ"_s << u"Ⅲ"_s << true;

        // Deliberate differences from the Windows comparison:
        // canonically equal characters are equal (the compatibility ideograph 朗 U+F929 of the IBM rows);
        QTest::newRow("differs: compatibility ideograph") << u"朗"_s << u"\uF929"_s << true;
        // byte 5C reads as the backslash, so the full-width yen sign does not find it.
        QTest::newRow("differs: ￥ is not byte 5C") << u"￥"_s << u"\\100"_s << false;

        QTest::newRow("empty item never a hit") << u"ペン"_s << QString() << false;
        QTest::newRow("empty text finds nothing") << QString() << u"ペン"_s << false;
    }
    void matching()
    {
        QFETCH(QString, text);
        QFETCH(QString, item);
        QFETCH(bool, hit);
        const Matcher matcher(text);
        QCOMPARE(matcher.matches(item), hit);
        // Items read from the files take the byte path; it must agree with the text path.
        const auto bytes = codepage::encode(item);
        QVERIFY(bytes);
        QCOMPARE(matcher.matchesBytes(*bytes), hit);
    }

    // The byte path folds through a table built per character; the text path normalises whole strings.
    // They must agree for every character of the code page, and across character boundaries.
    void bytePathEqualsTextPathForEveryCharacter()
    {
        int checked = 0;
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes(1, char(b));
            QCOMPARE(foldBytesForMatch(bytes), foldForMatch(codepage::decode(bytes)));
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!codepage::isLeadByte(quint8(lead)))
                continue;
            for (int trail = 0; trail < 256; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                const QByteArray bytes(pair, 2);
                const QString folded = foldForMatch(codepage::decode(bytes));
                if (foldBytesForMatch(bytes) != folded)
                    QFAIL(qPrintable(QStringLiteral("%1 %2").arg(lead, 0, 16).arg(trail, 0, 16)));
                ++checked;
            }
        }
        QVERIFY(checked > 15000);
    }

    void bytePathEqualsTextPathAcrossCharacters()
    {
        // Kana of both kinds and widths, voiced marks in every position, letters, a lone lead byte.
        const QString pool = u"かがはぱわゝうカガハパワヽウｶﾊﾜｳｱﾞﾟﾞﾟｰー゛゜ＡａAa①㌔朗 　\\~"_s;
        quint32 state = 12345;
        auto next = [&] {
            state = state * 1103515245u + 12345u;
            return state >> 8;
        };
        for (int round = 0; round < 20000; ++round) {
            QString text;
            const int length = 1 + int(next() % 8);
            for (int k = 0; k < length; ++k)
                text += pool[qsizetype(next() % quint32(pool.size()))];
            QByteArray bytes = codepage::encode(text).value_or(QByteArray());
            QVERIFY(!bytes.isEmpty());
            if (next() % 10 == 0)
                bytes += '\x83'; // a lead byte cut off at the end
            const QString viaText = foldForMatch(codepage::decode(bytes));
            if (foldBytesForMatch(bytes) != viaText)
                QFAIL(qPrintable(u"differs for "_s + text));
        }
    }

    void searchTextFoldedOnce()
    {
        const Matcher matcher(u"ﾊﾟｿｺﾝ"_s);
        QCOMPARE(matcher.foldedText(), u"パソコン"_s);
        QVERIFY(!matcher.isEmpty());
        QVERIFY(Matcher(QString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Matching)
#include "tst_matching.moc"
