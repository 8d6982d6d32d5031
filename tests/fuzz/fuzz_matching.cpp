// The matching rule: the byte-level fold of an item read from a file is the fold of its decoded text,
// matching bytes is matching text, a hit is a piece of the folded item, and a text always finds itself.

#include "FuzzSupport.h"
#include "Matching.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const uint8_t mode = fdp.ConsumeIntegral<uint8_t>();
    const std::string searchRaw = fdp.ConsumeRandomLengthString(64);
    const std::string itemRaw = fdp.ConsumeRemainingBytesAsString();
    const QByteArray itemBytes = QByteArray::fromStdString(itemRaw);

    const QString search = textFrom(searchRaw, mode);
    const Matcher matcher(search);
    const QString item = codepage::decode(itemBytes);

    const QString byBytes = foldBytesForMatch(itemBytes);
    check(byBytes == foldForMatch(item), "byte fold differs from text fold", itemBytes);
    const bool hit = matcher.matchesBytes(itemBytes);
    check(hit == matcher.matches(item), "matching bytes differs from matching text", itemBytes);
    check(hit == (!matcher.isEmpty() && !item.isEmpty() && byBytes.contains(matcher.foldedText())),
          "hit is not a piece of the folded item", itemBytes);
    check(matcher.isEmpty() == search.isEmpty() || foldForMatch(search).isEmpty(), "empty fold of a text");
    // The search text is typed text: it finds itself in the form the code page stores typed text in.
    if (!matcher.isEmpty())
        check(matcher.matches(codepage::mapTyped(search)), "a text does not find itself", search.toUtf8());
    // The search text as read back from a file finds the item it was typed into.
    if (const auto encoded = codepage::encode(search); encoded && !matcher.isEmpty())
        check(matcher.matchesBytes(*encoded), "encoded text does not find itself", *encoded);
    return 0;
}
