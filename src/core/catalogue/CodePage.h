#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Code page 932 (Windows-31J), the encoding of every file of the catalogue.
// This is the only place that turns bytes into text and back.
namespace kovra::codepage {

// True for a byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
inline bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Whether the C library converts code page 932; when not, why (for the program's one message at start).
// Without it every name and item would decode wrongly and every write be refused, so the programs stop.
bool available(QString* reason = nullptr);

// Why iconv cannot convert between the code page of that iconv name and Unicode; empty when it can.
// available() is this for "CP932"; tests name a code page that does not exist.
QString converterProblem(const char* iconvName);

// Decodes bytes; a byte or pair with no mapping becomes U+FFFD.
QString decode(QByteArrayView bytes);

// Encodes text; nullopt when any character has no round-trip mapping in the code page (𠮷, emoji, é, ¥ ...).
std::optional<QByteArray> encode(QStringView text);

bool canEncode(QStringView text);

// Whether text can be stored as an INI value, the one rule for titles, names and items: every character
// in the code page, and none that would end the value's line (CR, LF, NUL).
struct StoreCheck
{
    enum class Problem { None, LineBreak, Unencodable };
    Problem problem = Problem::None;
    QString character; // Unencodable: the first character the code page cannot hold
    explicit operator bool() const { return problem == Problem::None; }
};
StoreCheck checkStorable(QStringView text);
inline bool canStore(QStringView text)
{
    return bool(checkStorable(text));
}

// What the earlier Windows build's conversion did with characters Linux input methods produce: 〜→～,
// −(U+2212)→－, ‖→∥, ¢→￠, £→￡, ¬→￢, —(U+2014)→―, ¥(U+00A5)→'\\' (the byte 0x5C). Apply to every text the
// user types (titles, items, search text) before it is checked, stored or matched; never to paths.
QString mapTyped(QStringView typed);

// The largest length <= maxBytes that does not end inside a double-byte character of bytes.
qsizetype safeCut(QByteArrayView bytes, qsizetype maxBytes);

} // namespace kovra::codepage
