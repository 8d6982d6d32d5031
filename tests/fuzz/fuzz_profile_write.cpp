// The profile-file writer on arbitrary file bytes: a few writes and section removals with arbitrary names
// and values, one after the other on the same parsed file. Refusals leave the bytes alone and happen only for input that would break the file; an
// accepted write reads back as written and leaves every other key reading as before; after each edit the
// file reads exactly as a fresh parse of its bytes.

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
bool isUtf16(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

WriteStatus expectedSet(const QByteArray& file, const QString& section, const QString& key, const QString& value)
{
    if (isUtf16(file))
        return WriteStatus::Unreadable; // Windows writes Unicode there; code page bytes would break it
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

namespace {

struct Op
{
    uint8_t op = 0, pick = 0;
    std::string section, key, value;
};

// One write or removal on file, checked against the rules and against the reads before it.
void apply(ProfileFile& file, const Op& o)
{
    const QByteArray original = file.bytes();
    const std::string raw = original.toStdString();
    QStringList sections, keys;
    harvestNames(raw, sections, keys);
    // Mostly names of the file itself (the interesting case), sometimes names of the fuzzer's own.
    QString section = textFrom(o.section, o.op >> 2);
    QString key = textFrom(o.key, o.op >> 4);
    if (!sections.isEmpty() && (o.pick & 1))
        section = sections[(o.pick >> 1) % sections.size()];
    if (!keys.isEmpty() && (o.pick & 0x10))
        key = keys[(o.pick >> 5) % keys.size()];
    const QString value = textFrom(o.value, o.op >> 6);
    sections.append(section);
    keys.append(key);

    std::map<std::pair<QString, QString>, std::optional<QByteArray>> before;
    for (const QString& s : sections)
        for (const QString& k : keys)
            before[{s, k}] = file.rawValue(s, k);

    if (o.op & 1) {
        const WriteStatus st = file.removeSection(section);
        if (st != WriteStatus::Ok) {
            check(file.bytes() == original, "refused removal changed the bytes");
            check(isUtf16(original) || hasBreak(section) || !codepage::canEncode(section) || nameBytes(section).isEmpty() ||
                      findChar(nameBytes(section).toStdString(), ']') != std::string::npos,
                  "removal refused for a sound name");
            return;
        }
        for (const auto& [name, old] : before)
            if (!sameName(name.first, section))
                check(file.rawValue(name.first, name.second) == old, "removal changed another section");
    } else {
        const WriteStatus st = file.set(section, key, value);
        check(st == expectedSet(original, section, key, value), "write answered other than the rules say");
        if (st != WriteStatus::Ok) {
            check(file.bytes() == original, "refused write changed the bytes");
            return;
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
    }
    // The edited file reads exactly as a fresh parse of its bytes.
    QStringList afterSections, afterKeys;
    harvestNames(file.bytes().toStdString(), afterSections, afterKeys);
    afterSections += sections;
    afterKeys += keys;
    const ProfileFile fresh(file.bytes());
    for (const QString& s : afterSections) {
        check(fresh.hasSection(s) == file.hasSection(s), "edited file differs from a fresh parse (section)");
        for (const QString& k : afterKeys)
            check(fresh.rawValue(s, k) == file.rawValue(s, k), "edited file differs from a fresh parse");
    }
}

} // namespace

// Input: up to four edits (kind and pick bytes from the end, names and value from the front), then the
// file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const int count = fdp.ConsumeIntegral<uint8_t>() % 4 + 1;
    std::vector<Op> ops(static_cast<size_t>(count));
    for (Op& o : ops) {
        o.op = fdp.ConsumeIntegral<uint8_t>();
        o.pick = fdp.ConsumeIntegral<uint8_t>();
    }
    for (Op& o : ops) {
        o.section = fdp.ConsumeRandomLengthString(64);
        o.key = fdp.ConsumeRandomLengthString(64);
        o.value = fdp.ConsumeRandomLengthString(512);
    }
    ProfileFile file(QByteArray::fromStdString(fdp.ConsumeRemainingBytesAsString()));
    for (const Op& o : ops)
        apply(file, o);
    return 0;
}
