#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The search's text comparison, in one place for every caller: an item is a hit when the search text
// occurs in it as one contiguous piece after both are folded so that
//   - upper and lower case are equal (ABC = abc, ＡＢＣ = ａｂｃ, Greek and Cyrillic too),
//   - full-width and half-width forms are equal (ＵＳＢ = USB, ｶﾞﾑﾃｰﾌﾟ = ガムテープ; a half-width voiced or
//     semi-voiced mark joins the letter before it: ｶﾞ = ガ, ﾊﾟ = パ; the full-width blank equals the blank),
//   - hiragana and katakana of the same sound are equal (ぱそこん = パソコン; ー is shared by both).
// No trimming, no wildcards, no word boundaries.
namespace kovra {

// The folded form of text: width variants replaced by their counterpart (the <wide>/<narrow> part of
// compatibility normalisation), canonical composition (NFC), case folding, hiragana to katakana, and a
// voiced mark left without a letter shown as the spacing mark (゛ ゜). Other compatibility forms keep
// their identity (① is not 1, ㌔ is not キロ, ㈱ is not (株)), as in the Japanese Windows comparison.
QString foldForMatch(QStringView text);

// A search text folded once, matched against any number of items.
class Matcher
{
public:
    // The text as the user typed it: it passes codepage::mapTyped before it is folded (¥ finds byte 5C).
    explicit Matcher(QStringView searchText);

    // The empty search text matches nothing (the window refuses it before a search).
    bool isEmpty() const { return m_folded.isEmpty(); }
    const QString& foldedText() const { return m_folded; }

    bool matches(QStringView item) const;
    // An item as read from an area file (code page 932 bytes), folded straight from the bytes through
    // a per-character table: the same result as matches(codepage::decode(item)) without building text.
    bool matchesBytes(QByteArrayView item) const;

private:
    QString m_folded;
};

// The fold of code page 932 bytes; exposed for the tests that hold it equal to foldForMatch(decode(bytes)).
QString foldBytesForMatch(QByteArrayView bytes);
// out += foldBytesForMatch(bytes), without the temporary (for the index, which folds every item).
void appendFoldedBytes(QByteArrayView bytes, QString& out);

} // namespace kovra
