// The profile-file writer on arbitrary file bytes: one write or section removal with arbitrary names
// and value. Refusals leave the bytes alone and happen only for input that would break the file; an
// accepted write reads back as written and leaves every other key reading as before.

#include "FuzzSupport.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <utility>

using namespace kovra;
using namespace kovra::fuzz;

namespace {

bool hasBreak(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

QByteArray nameBytes(const QString& s)
{
    return QByteArray::fromStdString(trimmed(codepage::encode(s).value_or(QByteArray()).toStdString()));
}

bool sameName(const QString& a, const QString& b)
{
    return folded(nameBytes(a).toStdString()) == folded(nameBytes(b).toStdString());
}

// What the writer must answer for this input, worked out from the rules alone.
WriteStatus expectedSet(const QString& section, const QString& key, const QString& value)
{
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return WriteStatus::InvalidInput;
    if (!codepage::canEncode(section) || !codepage::canEncode(key) || !codepage::canEncode(value))
        return WriteStatus::Unencodable;
    const std::string s = nameBytes(section).toStdString();
    const std::string k = nameBytes(key).toStdString();
    if (s.empty() || k.empty() || findChar(s, ']') != std::string::npos || findChar(k, '=') != std::string::npos ||
        k[0] == ';' || k[0] == '[')
        return WriteStatus::InvalidInput;
    return WriteStatus::Ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const uint8_t op = fdp.ConsumeIntegral<uint8_t>();
    const uint8_t pick = fdp.ConsumeIntegral<uint8_t>();
    const std::string sectionRaw = fdp.ConsumeRandomLengthString(64);
    const std::string keyRaw = fdp.ConsumeRandomLengthString(64);
    const std::string valueRaw = fdp.ConsumeRandomLengthString(512);
    const std::string raw = fdp.ConsumeRemainingBytesAsString();
    const QByteArray original = QByteArray::fromStdString(raw);

    QStringList sections, keys;
    harvestNames(raw, sections, keys);
    // Mostly names of the file itself (the interesting case), sometimes names of the fuzzer's own.
    QString section = textFrom(sectionRaw, op >> 2);
    QString key = textFrom(keyRaw, op >> 4);
    if (!sections.isEmpty() && (pick & 1))
        section = sections[(pick >> 1) % sections.size()];
    if (!keys.isEmpty() && (pick & 0x10))
        key = keys[(pick >> 5) % keys.size()];
    const QString value = textFrom(valueRaw, op >> 6);
    sections.append(section);
    keys.append(key);

    ProfileFile file(original);
    std::map<std::pair<QString, QString>, std::optional<QByteArray>> before;
    for (const QString& s : sections)
        for (const QString& k : keys)
            before[{s, k}] = file.rawValue(s, k);

    if (op & 1) {
        const WriteStatus st = file.removeSection(section);
        if (st != WriteStatus::Ok) {
            check(file.bytes() == original, "refused removal changed the bytes");
            check(hasBreak(section) || !codepage::canEncode(section) || nameBytes(section).isEmpty() ||
                      findChar(nameBytes(section).toStdString(), ']') != std::string::npos,
                  "removal refused for a sound name");
            return 0;
        }
        for (const auto& [name, old] : before)
            if (!sameName(name.first, section))
                check(file.rawValue(name.first, name.second) == old, "removal changed another section");
        check(ProfileFile(file.bytes()).bytes() == file.bytes(), "reparse changed bytes");
        return 0;
    }

    const WriteStatus st = file.set(section, key, value);
    check(st == expectedSet(section, key, value), "write answered other than the rules say");
    if (st != WriteStatus::Ok) {
        check(file.bytes() == original, "refused write changed the bytes");
        return 0;
    }
    // The value reads back whole, unless the reader's own rules strip it (outer blanks, outer quotes).
    const auto encoded = *codepage::encode(value);
    const bool plain = encoded == QByteArray::fromStdString(trimmed(encoded.toStdString())) &&
                       !(encoded.size() >= 2 && (encoded[0] == '"' || encoded[0] == '\'') &&
                         encoded.back() == encoded[0]);
    if (plain) {
        const QByteArray back = file.readBytes(section, key, u"-", int(encoded.size()) + 1);
        check(back == encoded, "written value does not read back", back);
        check(file.value(section, key) == value, "written text does not read back");
    }
    for (const auto& [name, old] : before)
        if (!(sameName(name.first, section) && sameName(name.second, key)))
            check(file.rawValue(name.first, name.second) == old, "write changed another key");
    // A fresh parse of the written bytes reads the same.
    const ProfileFile again(file.bytes());
    for (const auto& [name, old] : before)
        check(again.rawValue(name.first, name.second) == file.rawValue(name.first, name.second),
              "fresh parse reads differently");
    return 0;
}
