#include "Matching.h"

#include "CodePage.h"

#include <QVarLengthArray>
#include <array>
#include <vector>

namespace kovra {
namespace {

constexpr char16_t VoicedMark = 0x3099;     // combining form of ゛ (what ﾞ unfolds to)
constexpr char16_t SemiVoicedMark = 0x309A; // combining form of ゜ (what ﾟ unfolds to)

// Width variants become their counterpart; every other character stays as it is. Full compatibility
// normalisation would also turn ① into 1 and ㌔ into キロ, which the Windows comparison keeps apart.
QString unfoldWidth(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        const auto tag = QChar::decompositionTag(c);
        if (tag == QChar::Wide || tag == QChar::Narrow)
            out += QChar::decomposition(c);
        else
            out += text.sliced(i, length);
        i += length - 1;
    }
    return out;
}

// Everything of the fold except the kana step: the kana step must come after composition, because
// hiragana and katakana do not compose alike (ワ + ゛ has a composed form, わ + ゛ has none).
QString foldBeforeKana(QStringView text)
{
    return unfoldWidth(text).normalized(QString::NormalizationForm_C).toCaseFolded();
}

char16_t kanaFold(char16_t u)
{
    if ((u >= 0x3041 && u <= 0x3096) || u == 0x309D || u == 0x309E) // ぁ..ゖ, ゝ ゞ
        return char16_t(u + 0x60);
    if (u == VoicedMark)
        return 0x309B; // ゛
    if (u == SemiVoicedMark)
        return 0x309C; // ゜
    return u;
}

// The fold of one character of code page 932, before the kana step.
struct FoldEntry
{
    enum Kind : quint8 { Plain, Mark, Complex };
    std::array<char16_t, 2> units{};
    quint8 length = 0;
    Kind kind = Plain;
};

constexpr int LeadCount = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);

int leadIndex(unsigned char lead)
{
    return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
}

struct FoldTables
{
    std::array<FoldEntry, 256> single{}; // bytes that are no lead byte, and a lone lead byte
    std::vector<FoldEntry> pair = std::vector<FoldEntry>(LeadCount * 256); // lead byte, any next byte
    std::array<std::array<char16_t, 2>, 0x100> compose{}; // U+3000.. + (voiced, semi-voiced) -> composed, 0 none

    static FoldEntry entryFor(QStringView decoded)
    {
        FoldEntry e;
        QString folded;
        if (decoded.size() == 1 && QChar::decompositionTag(decoded[0].unicode()) == QChar::NoDecomposition)
            folded = QString(QChar(QChar::toCaseFolded(decoded[0].unicode())));
        else
            folded = foldBeforeKana(decoded);
        if (folded.size() == 1 && (folded[0] == QChar(VoicedMark) || folded[0] == QChar(SemiVoicedMark))) {
            e.kind = FoldEntry::Mark;
        } else if (folded.isEmpty() || folded.size() > 2) {
            e.kind = FoldEntry::Complex;
        } else {
            for (QChar c : folded)
                if (c.combiningClass() != 0 || c.isSurrogate())
                    e.kind = FoldEntry::Complex;
        }
        e.length = quint8(std::min<qsizetype>(folded.size(), 2));
        for (int k = 0; k < e.length; ++k)
            e.units[size_t(k)] = folded[k].unicode();
        return e;
    }

    FoldTables()
    {
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            single[size_t(b)] = entryFor(codepage::decode(QByteArrayView(&c, 1)));
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!codepage::isLeadByte(quint8(lead)))
                continue;
            for (int trail = 0; trail < 256; ++trail) {
                const char bytes[2] = {char(lead), char(trail)};
                pair[size_t(leadIndex(quint8(lead)) * 256 + trail)] =
                    entryFor(codepage::decode(QByteArrayView(bytes, 2)));
            }
        }
        // The only compositions with the voiced marks are kana, all inside U+3000..U+30FF.
        for (int u = 0x3000; u < 0x3100; ++u) {
            for (int m = 0; m < 2; ++m) {
                const QString s = QString(QChar(char16_t(u))) + QChar(m == 0 ? VoicedMark : SemiVoicedMark);
                const QString c = s.normalized(QString::NormalizationForm_C);
                compose[size_t(u - 0x3000)][size_t(m)] = c.size() == 1 ? c[0].unicode() : char16_t(0);
            }
        }
    }
};

const FoldTables& foldTables()
{
    static const FoldTables t;
    return t;
}

using FoldBuffer = QVarLengthArray<char16_t, 512>;

// Folds code page 932 bytes into out; false when a character needs the full fold (none of the code page
// does today; the fallback keeps the result right should the tables ever say otherwise).
bool foldBytes(QByteArrayView bytes, FoldBuffer& out)
{
    const FoldTables& t = foldTables();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    out.clear();
    bool lastIsStarter = false;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        const FoldEntry* e;
        if (codepage::isLeadByte(b) && i + 1 < n) {
            e = &t.pair[size_t(leadIndex(b) * 256 + p[i + 1])];
            ++i;
        } else {
            e = &t.single[b];
        }
        switch (e->kind) {
        case FoldEntry::Plain:
            out.append(e->units[0]);
            if (e->length == 2)
                out.append(e->units[1]);
            lastIsStarter = true;
            break;
        case FoldEntry::Mark: {
            const char16_t prev = out.isEmpty() ? char16_t(0) : out.last();
            const int m = e->units[0] == VoicedMark ? 0 : 1;
            if (lastIsStarter && prev >= 0x3000 && prev < 0x3100 && t.compose[size_t(prev - 0x3000)][size_t(m)]) {
                out.last() = t.compose[size_t(prev - 0x3000)][size_t(m)];
            } else {
                out.append(e->units[0]);
                lastIsStarter = false;
            }
            break;
        }
        case FoldEntry::Complex:
            return false;
        }
    }
    for (char16_t& u : out)
        u = kanaFold(u);
    return true;
}

} // namespace

QString foldForMatch(QStringView text)
{
    QString s = foldBeforeKana(text);
    for (QChar& c : s)
        c = QChar(kanaFold(c.unicode()));
    return s;
}

QString foldBytesForMatch(QByteArrayView bytes)
{
    FoldBuffer buffer;
    if (!foldBytes(bytes, buffer))
        return foldForMatch(codepage::decode(bytes));
    return QString(reinterpret_cast<const QChar*>(buffer.constData()), buffer.size());
}

void appendFoldedBytes(QByteArrayView bytes, QString& out)
{
    FoldBuffer buffer;
    if (!foldBytes(bytes, buffer))
        out += foldForMatch(codepage::decode(bytes));
    else
        out.append(reinterpret_cast<const QChar*>(buffer.constData()), buffer.size());
}

// The search text is typed text: mapped to the code page's forms first, so that 〜 finds the ～ of the files.
Matcher::Matcher(QStringView searchText) : m_folded(foldForMatch(codepage::mapTyped(searchText))) {}

bool Matcher::matches(QStringView item) const
{
    if (m_folded.isEmpty() || item.isEmpty())
        return false;
    return QStringView(foldForMatch(item)).contains(m_folded);
}

bool Matcher::matchesBytes(QByteArrayView item) const
{
    if (m_folded.isEmpty() || item.isEmpty())
        return false;
    FoldBuffer buffer;
    if (!foldBytes(item, buffer))
        return matches(codepage::decode(item));
    return QStringView(buffer.constData(), buffer.size()).contains(m_folded);
}

} // namespace kovra
