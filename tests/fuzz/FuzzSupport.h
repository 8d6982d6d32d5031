#pragma once

// Helpers shared by the fuzz targets and the seed writer.

#include "CodePage.h"
#include "ProfileFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kovra::fuzz {

// Stops the run with a message; libFuzzer saves the input that got here.
[[noreturn]] inline void fail(const char* what, const QByteArray& detail = {})
{
    std::fprintf(stderr, "FUZZ FINDING: %s %s\n", what, detail.toHex(' ').constData());
    std::abort();
}

inline void check(bool ok, const char* what, const QByteArray& detail = {})
{
    if (!ok)
        fail(what, detail);
}

// Text from fuzz bytes in one of three ways: code page 932 (the usual case), UTF-8, or raw UTF-16
// (which reaches lone surrogates and characters the code page cannot hold).
inline QString textFrom(const std::string& bytes, unsigned mode)
{
    switch (mode % 3) {
    case 0:
        return codepage::decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    case 1:
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    default:
        return QString(reinterpret_cast<const QChar*>(bytes.data()), qsizetype(bytes.size() / 2));
    }
}

// True when bytes end on a character boundary of the code page (no lead byte left without its trail).
inline bool endsOnBoundary(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size())
        i += codepage::isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    return i == bytes.size();
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline std::string trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

inline std::string folded(std::string s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        if (codepage::isLeadByte(u))
            ++i;
        else if (u >= 'A' && u <= 'Z')
            s[i] = char(u - 'A' + 'a');
    }
    return s;
}

// Position of c in s, stepping over double-byte characters; npos when absent.
inline size_t findChar(const std::string& s, char c, size_t from = 0)
{
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == c)
            return i;
        if (codepage::isLeadByte(static_cast<unsigned char>(s[i])))
            ++i;
    }
    return std::string::npos;
}

// A second, plain reading of an INI file, line by line, for the read target to hold the parsed-file
// reader against. Names are the raw bytes of the file.
struct ReferenceIni
{
    struct Key
    {
        std::string name, value;
    };
    struct Section
    {
        std::string name;
        std::vector<Key> keys;
    };
    std::vector<Section> sections;

    explicit ReferenceIni(const std::string& b)
    {
        size_t pos = 0;
        bool inSection = false;
        while (pos < b.size()) {
            size_t end = pos;
            while (end < b.size() && b[end] != '\r' && b[end] != '\n')
                ++end;
            const std::string line = b.substr(pos, end - pos);
            pos = end;
            if (pos < b.size() && b[pos] == '\r' && pos + 1 < b.size() && b[pos + 1] == '\n')
                pos += 2;
            else if (pos < b.size())
                pos += 1;
            std::string t = trimmed(line);
            if (!t.empty() && t[0] == '[') {
                const size_t close = findChar(t, ']', 1);
                sections.push_back({trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)), {}});
                inSection = true;
            } else if (inSection && !t.empty() && t[0] != ';') {
                // A line without '=' is no key.
                const size_t eq = findChar(t, '=');
                if (eq == std::string::npos)
                    continue;
                Key k;
                k.name = trimmed(t.substr(0, eq));
                k.value = trimmed(t.substr(eq + 1));
                if (k.value.size() >= 2 && (k.value[0] == '"' || k.value[0] == '\'') && k.value.back() == k.value[0])
                    k.value = k.value.substr(1, k.value.size() - 2);
                sections.back().keys.push_back(k);
            }
        }
    }

    // The value of the first key of the name in the first section of the name.
    const std::string* find(const std::string& section, const std::string& key) const
    {
        for (const Section& s : sections) {
            if (folded(s.name) != folded(section))
                continue;
            for (const Key& k : s.keys)
                if (folded(k.name) == folded(key))
                    return &k.value;
            return nullptr; // only the first section of a name counts
        }
        return nullptr;
    }
};

// Section and key names that occur in the file (as text), for reads and writes that hit existing
// entries; at most limit of each.
inline void harvestNames(const std::string& bytes, QStringList& sections, QStringList& keys, int limit = 12)
{
    const ReferenceIni ini(bytes);
    for (const auto& s : ini.sections) {
        if (sections.size() < limit && !sections.contains(codepage::decode(QByteArray::fromStdString(s.name))))
            sections.append(codepage::decode(QByteArray::fromStdString(s.name)));
        for (const auto& k : s.keys) {
            const QString name = codepage::decode(QByteArray::fromStdString(k.name));
            if (keys.size() < limit && !keys.contains(name))
                keys.append(name);
        }
    }
}

// Seed encoding for FuzzedDataProvider::ConsumeRandomLengthString: backslashes doubled, then an ending.
inline std::string fdpString(const std::string& s)
{
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '\\')
            out += '\\';
    }
    return out + "\\ ";
}

} // namespace kovra::fuzz
