#include "CodePage.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <unordered_map>
#include <vector>

namespace kovra::codepage {
namespace {

// iconv's converters from a code page to UTF-16LE and back; `problem` says why one could not be opened.
struct Converters
{
    QString problem; // first: the converters' initialisers write it
    iconv_t dec;
    iconv_t en;

    explicit Converters(const char* codePage)
        : dec(open("UTF-16LE", codePage, problem)), en(open(codePage, "UTF-16LE", problem))
    {}
    ~Converters()
    {
        for (iconv_t c : {dec, en})
            if (c != iconv_t(-1))
                iconv_close(c);
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    static iconv_t open(const char* to, const char* from, QString& problem)
    {
        const iconv_t c = iconv_open(to, from);
        if (c == iconv_t(-1) && problem.isEmpty())
            problem =
                QStringLiteral("iconv_open(%1, %2): %3")
                    .arg(QLatin1StringView(to), QLatin1StringView(from), QString::fromLocal8Bit(std::strerror(errno)));
        return c;
    }
};

// Tables built once from the C library's CP932 converter: it follows Microsoft's mapping
// (～ U+FF5E, NEC and IBM extensions), which is what files written on Windows hold.
struct Tables
{
    std::array<char16_t, 256> single{};        // 0 = no mapping / lead byte
    std::vector<char16_t> dbcs;                // index (lead << 8 | trail), 0 = none
    std::unordered_map<char16_t, quint16> enc; // unicode -> 1 or 2 bytes (high byte 0 for single)
    QString problem;                           // why there is no converter; the tables are then empty

    Tables() : dbcs(65536, 0)
    {
        const Converters converters("CP932");
        problem = converters.problem;
        if (!problem.isEmpty())
            return;
        iconv_t dec = converters.dec;
        iconv_t en = converters.en;
        auto decodeSeq = [&](const char* in, size_t len) -> char16_t {
            char inBuf[2] = {in[0], len > 1 ? in[1] : '\0'};
            char outBuf[8];
            char* ip = inBuf;
            char* op = outBuf;
            size_t il = len;
            size_t ol = sizeof outBuf;
            iconv(dec, nullptr, nullptr, nullptr, nullptr);
            if (iconv(dec, &ip, &il, &op, &ol) == size_t(-1) || il != 0 || op - outBuf != 2)
                return 0;
            return char16_t(quint8(outBuf[0]) | quint8(outBuf[1]) << 8);
        };
        for (int b = 0; b < 256; ++b) {
            if (isLeadByte(quint8(b)))
                continue;
            const char c = char(b);
            single[size_t(b)] = b == 0 ? char16_t(0) : decodeSeq(&c, 1);
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(quint8(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                dbcs[size_t(lead << 8 | trail)] = decodeSeq(pair, 2);
            }
        }
        // Encoding: only characters that decode from some byte sequence; the converter picks
        // Windows' preferred form among duplicates (NEC row 13, IBM extensions in FA-FC).
        auto encodeChar = [&](char16_t u) -> std::optional<quint16> {
            char inBuf[2] = {char(u & 0xFF), char(u >> 8)};
            char outBuf[4];
            char* ip = inBuf;
            char* op = outBuf;
            size_t il = 2;
            size_t ol = sizeof outBuf;
            iconv(en, nullptr, nullptr, nullptr, nullptr);
            if (iconv(en, &ip, &il, &op, &ol) == size_t(-1))
                return std::nullopt;
            const auto n = op - outBuf;
            if (n == 1)
                return quint16(quint8(outBuf[0]));
            if (n == 2)
                return quint16(quint8(outBuf[0]) << 8 | quint8(outBuf[1]));
            return std::nullopt;
        };
        auto addEncoding = [&](char16_t u) {
            if (u == 0 || enc.count(u))
                return;
            if (auto e = encodeChar(u)) {
                // Keep only mappings that decode back to the same character.
                const quint16 v = *e;
                const char16_t back = v > 0xFF ? dbcs[v] : single[v];
                if (back == u)
                    enc.emplace(u, v);
            }
        };
        for (char16_t u : single)
            addEncoding(u);
        for (char16_t u : dbcs)
            addEncoding(u);
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

} // namespace

bool available(QString* reason)
{
    const QString& problem = tables().problem;
    if (reason)
        *reason = problem;
    return problem.isEmpty();
}

QString converterProblem(const char* iconvName)
{
    return Converters(iconvName).problem;
}

QString decode(QByteArrayView bytes)
{
    const Tables& t = tables();
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.append(QChar(char16_t(b)));
        } else if (isLeadByte(b) && i + 1 < n) {
            const char16_t u = t.dbcs[size_t(b << 8 | p[i + 1])];
            out.append(QChar(u ? u : char16_t(0xFFFD)));
            ++i;
        } else {
            const char16_t u = t.single[b];
            out.append(QChar(u ? u : char16_t(0xFFFD)));
        }
    }
    return out;
}

std::optional<QByteArray> encode(QStringView text)
{
    const Tables& t = tables();
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            out.append(char(u));
            continue;
        }
        const auto it = t.enc.find(u);
        if (it == t.enc.end())
            return std::nullopt;
        if (it->second > 0xFF)
            out.append(char(it->second >> 8));
        out.append(char(it->second & 0xFF));
    }
    return out;
}

bool canEncode(QStringView text)
{
    return encode(text).has_value();
}

StoreCheck checkStorable(QStringView text)
{
    if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0')))
        return {StoreCheck::Problem::LineBreak, {}};
    if (canEncode(text))
        return {};
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (!canEncode(text.mid(i, n)))
            return {StoreCheck::Problem::Unencodable, text.mid(i, n).toString()};
        i += n;
    }
    return {StoreCheck::Problem::Unencodable, {}}; // only a pair of characters as a whole has no mapping
}

QString mapTyped(QStringView typed)
{
    QString out = typed.toString();
    for (QChar& c : out) {
        switch (c.unicode()) {
        case 0x301C:
            c = QChar(0xFF5E);
            break; // wave dash -> fullwidth tilde
        case 0x2212:
            c = QChar(0xFF0D);
            break; // minus sign -> fullwidth hyphen-minus
        case 0x2016:
            c = QChar(0x2225);
            break; // double vertical line -> parallel to
        case 0x00A2:
            c = QChar(0xFFE0);
            break; // cent
        case 0x00A3:
            c = QChar(0xFFE1);
            break; // pound
        case 0x00AC:
            c = QChar(0xFFE2);
            break; // not sign
        case 0x2014:
            c = QChar(0x2015);
            break; // em dash -> horizontal bar
        case 0x00A5:
            c = QChar(u'\\');
            break; // yen sign: byte 0x5C, which Japanese fonts draw as yen
        default:
            break;
        }
    }
    return out;
}

qsizetype safeCut(QByteArrayView bytes, qsizetype maxBytes)
{
    if (maxBytes >= bytes.size())
        return bytes.size();
    if (maxBytes <= 0)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype i = 0;
    while (i < maxBytes) {
        const qsizetype step = (isLeadByte(p[i]) && i + 1 < bytes.size()) ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return i;
}

} // namespace kovra::codepage
