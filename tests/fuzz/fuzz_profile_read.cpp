// The profile-file reader on arbitrary bytes: every read of the names found in the file (and of names
// that are not there) with buffer sizes around the edges, held against a plain line-by-line reading.

#include "FuzzSupport.h"

#include <cstdint>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const QByteArray bytes = QByteArray::fromStdString(raw);
    const ProfileFile file(bytes);
    const ReferenceIni reference(raw);

    QStringList sections{QStringLiteral("Absent")}, keys{QStringLiteral("Absent")};
    harvestNames(raw, sections, keys);
    // Names as callers spell them: other case and blanks around them.
    if (!sections.isEmpty())
        sections.append(u' ' + sections.constLast().toUpper() + u'\t');
    if (!keys.isEmpty())
        keys.append(keys.constLast().toLower());

    const QString defaultText = QStringLiteral("dデフォ  ");
    const QByteArray defaultBytes = *codepage::encode(defaultText.trimmed());
    for (const QString& s : sections) {
        for (const QString& k : keys) {
            const auto sBytes = codepage::encode(s);
            const auto kBytes = codepage::encode(k);
            const std::string* expected = nullptr;
            if (sBytes && kBytes)
                expected = reference.find(trimmed(sBytes->toStdString()), trimmed(kBytes->toStdString()));
            const QByteArray whole = expected ? QByteArray::fromStdString(*expected) : defaultBytes;

            const auto rawValue = file.rawValue(s, k);
            check(rawValue.has_value() == (expected != nullptr), "found differs from the line reading");
            if (rawValue)
                check(*rawValue == whole, "value differs from the line reading", *rawValue);

            for (int bufferSize : {-1, 0, 1, 2, 3, 10, 16, 126, 256, int(whole.size()), int(whole.size()) + 1}) {
                const QByteArray got = file.readBytes(s, k, defaultText, bufferSize);
                const qsizetype room = bufferSize > 0 ? bufferSize - 1 : 0;
                check(got.size() <= room, "read longer than the buffer", got);
                check(whole.startsWith(got), "read is no prefix of the value", got);
                check(got.size() >= room - 1 || got.size() == whole.size(), "read cut too short", got);
                // A cut never leaves half a character; whole values end as they are stored.
                if (got.size() < whole.size())
                    check(endsOnBoundary(got), "read cut inside a double-byte character", got);
            }
            const QString text = file.read(s, k, defaultText, 256);
            check(text.size() <= 255, "decoded read longer than its bytes");
        }
    }
    return 0;
}
