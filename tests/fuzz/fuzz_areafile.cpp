// The catalogue's readers on an arbitrary area file and IMAGE.INI: the marker reading, the geometry of
// a hit, the item list, the title list and (when the search core is there) the scan. Items read whole
// save back and read again unchanged.

#include "AreaFiles.h"
#include "FileOps.h"
#include "FuzzSupport.h"
#include "ImageFolders.h"
#ifdef KOVRA_FUZZ_HAVE_SEARCH
#include "SearchScan.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

using namespace kovra;
using namespace kovra::fuzz;

namespace {

void put(const QString& path, const std::string& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        fail("cannot write the work file");
}

bool outerBlankOrQuote(const QByteArray& b)
{
    if (b.isEmpty())
        return false;
    if (isBlank(b.front()) || isBlank(b.back()))
        return true;
    return b.size() >= 2 && (b.front() == '"' || b.front() == '\'') && b.back() == b.front();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Memory-backed where there is one: every input is written to disk and read back.
    static QTemporaryDir root(QFileInfo(QStringLiteral("/dev/shm")).isDir()
                                  ? QStringLiteral("/dev/shm/kovra-fuzz-XXXXXX")
                                  : QDir::tempPath() + QStringLiteral("/kovra-fuzz-XXXXXX"));
    static const QString folder = root.filePath(QStringLiteral("20030405060708"));
    static const bool made = QDir().mkpath(folder);
    check(made, "cannot make the work folder");

    FuzzedDataProvider fdp(data, size);
    const uint8_t index = fdp.ConsumeIntegral<uint8_t>() % AreaCount;
    const std::string search = fdp.ConsumeRandomLengthString(32);
    const std::string image = fdp.ConsumeRandomLengthString(1024);
    const std::string area = fdp.ConsumeRemainingBytesAsString();
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(QDir(folder).filePath(name));
    put(areaFilePath(folder, index), area);
    put(imageIniPath(folder), image);

    const auto areas = loadImageAreas(folder);
    for (int i = 0; i < AreaCount; ++i) {
        const LoadedArea& a = areas[size_t(i)];
        if (i != index)
            check(a.state == LoadedArea::State::NotInUse || a.state == LoadedArea::State::Unread,
                  "a missing area file is in use");
    }
    (void)readAreaGeometry(folder, index);

    const QStringList titles = {titleList({folder}, nonTitled()).value(0).title};
    check(codepage::encode(titles[0]).value_or(QByteArray(126, 'x')).size() <= 125 || titles[0].contains(QChar(0xFFFD)),
          "title longer than 125 bytes");
    (void)picturePathOf(folder);

    const QStringList items = readItems(folder, index);
    check(items.size() <= 32767, "more items than a 16-bit count");

#ifdef KOVRA_FUZZ_HAVE_SEARCH
    const Matcher matcher(codepage::decode(QByteArray::fromStdString(search)));
    const auto row = searchFolder(folder, 0, matcher);
    if (row) {
        check(!matcher.isEmpty(), "the empty search text found something");
        check(row->hitAreas == QList<int>{index}, "hit in an area without a file");
    }
#else
    (void)search;
#endif

    // Items that the reader's rules keep as they are survive a save and a second reading.
    bool keepable = true;
    for (const QString& item : items) {
        const auto b = codepage::encode(item);
        keepable = keepable && b && !outerBlankOrQuote(*b) && !item.contains(QChar(u'\0'));
    }
    // A UTF-16 file (byte-order mark) is never written into.
    const bool writable = !ProfileFile::load(areaFilePath(folder, index)).isUtf16();
    if (keepable && writable && items.size() <= 2000) {
        const WriteStatus st = saveItems(folder, index, items);
        check(st == WriteStatus::Ok, "saving the items read failed");
        check(readItems(folder, index) == items, "items changed through a save");
    }

    // The same byte for byte, whatever the bytes are (not code page text, NUL), except what the reader's
    // rules themselves change; and no temporary file stays behind.
    const QList<QByteArray> bytes = readItemBytes(folder, index);
    bool keepableBytes = true;
    for (const QByteArray& b : bytes)
        keepableBytes = keepableBytes && !outerBlankOrQuote(b);
    if (keepableBytes && writable && bytes.size() <= 2000) {
        check(saveItemBytes(folder, index, bytes) == WriteStatus::Ok, "saving the item bytes read failed");
        check(readItemBytes(folder, index) == bytes, "item bytes changed through a save");
    }
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        check(!isTempName(name), "a temporary file stayed behind");
    return 0;
}
