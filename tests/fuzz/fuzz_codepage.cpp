// The code-page conversion: any bytes decode; decoded text that holds no replacement character encodes
// again (so whatever a catalogue holds can be saved back); encoded text decodes to itself; a cut never
// splits a character.

#include "FuzzSupport.h"

#include <cstdint>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString text = codepage::decode(bytes);
    check(text.size() <= bytes.size(), "decode made more characters than bytes");
    const auto again = codepage::encode(text);
    if (!text.contains(QChar(0xFFFD)))
        check(again.has_value(), "decoded text cannot be encoded", bytes.toByteArray());
    if (again) {
        check(codepage::decode(*again) == text, "decode(encode(decode(b))) differs", bytes.toByteArray());
        check(again->size() == bytes.size() || !endsOnBoundary(bytes), "re-encoding changed the length",
              bytes.toByteArray());
    }

    // The same bytes as UTF-16 text: whatever encodes must come back as itself.
    const QString wide(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    const auto encoded = codepage::encode(wide);
    check(encoded.has_value() == codepage::canEncode(wide), "canEncode disagrees with encode");
    if (encoded) {
        check(codepage::decode(*encoded) == wide, "text does not survive the code page", bytes.toByteArray());
        check(endsOnBoundary(*encoded), "encoded text ends inside a character");
    }

    // Every cut of the bytes.
    for (qsizetype max = -1; max <= bytes.size() + 1; ++max) {
        const qsizetype cut = codepage::safeCut(bytes, max);
        if (max >= bytes.size()) {
            check(cut == bytes.size(), "cut of a short text");
        } else {
            check(cut >= 0 && cut <= std::max<qsizetype>(max, 0), "cut past the limit");
            check(cut >= max - 1, "cut shorter than needed");
            check(endsOnBoundary(bytes.first(cut)), "cut inside a character", bytes.toByteArray());
        }
        if (size > 64)
            max += qsizetype(size / 64); // long inputs: a sample of the cuts
    }
    return 0;
}
