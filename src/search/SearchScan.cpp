#include "SearchScan.h"

#include "AreaFiles.h"
#include "CodePage.h"
#include "ImageFolders.h"
#include "Numbers.h"
#include "ProfileFile.h"

#include <QThread>
#include <atomic>
#include <charconv>
#include <memory>
#include <thread>

namespace kovra {
namespace {

// Below this many folders a second thread costs more than it saves.
constexpr int MinFoldersPerThread = 8;

bool areaHasHit(const ProfileFile& file, const Matcher& matcher)
{
    // A Sum the conversion rejects counts as 0; a missing key is an empty item, never a hit.
    const int count = numbers::toInt16(file.read(u"ItemCount", u"Sum", u"0", SearchSumBufferSize)).value_or(qint16(0));
    char key[16] = {'I', 't', 'e', 'm'}; // "Item" + K in decimal, no padding
    for (int k = 0; k < count; ++k) {
        const auto end = std::to_chars(key + 4, key + sizeof key, k).ptr;
        const auto item = file.find("Items", QByteArrayView(key, end - key));
        // The read of a 256-byte buffer: at most 255 bytes, never cut inside a double-byte character.
        if (item && matcher.matchesBytes(item->first(codepage::safeCut(*item, ItemBufferSize - 1))))
            return true;
    }
    return false;
}

} // namespace

QString SearchRow::hitAreaText() const
{
    QString text;
    for (int a : hitAreas)
        text += u',' + QString::number(a);
    return text;
}

std::optional<SearchRow> searchFolder(const QString& folder, int position, const Matcher& matcher)
{
    if (matcher.isEmpty())
        return std::nullopt;
    QList<int> areas;
    for (int a = 0; a < AreaCount; ++a) {
        const ProfileFile file = ProfileFile::load(areaFilePath(folder, a));
        if (file.status() == ProfileFile::Status::Loaded && areaHasHit(file, matcher))
            areas.append(a);
    }
    if (areas.isEmpty())
        return std::nullopt;
    const ProfileFile image = ProfileFile::load(imageIniPath(folder));
    SearchRow row;
    row.title = image.read(u"ImageFile", u"Title", nonTitled(), TitleBufferSize);
    row.picturePath = resolvePicturePath(folder, image.read(u"ImageFile", u"Filename", u"", SearchFilenameBufferSize));
    row.folder = folder;
    row.folderPosition = position;
    row.hitAreas = std::move(areas);
    return row;
}

QList<SearchRow> searchFolders(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress,
                               int threads)
{
    const int n = int(folders.size());
    if (threads <= 0)
        threads = std::min(2, QThread::idealThreadCount());
    threads = std::clamp(std::min(threads, n / MinFoldersPerThread), 1, 2);

    std::vector<std::optional<SearchRow>> found(static_cast<size_t>(n));
    if (threads == 1) {
        for (int i = 0; i < n; ++i) {
            found[size_t(i)] = searchFolder(folders[i], i, matcher);
            if (progress)
                progress(i, n);
        }
    } else {
        // Both threads take the next folder from a shared counter; the caller's thread reports every
        // folder finished in order, so the gauge never runs ahead of a folder still being read.
        std::atomic<int> next{0};
        const auto done = std::make_unique<std::atomic<bool>[]>(size_t(n));
        auto work = [&]() -> int {
            const int i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= n)
                return -1;
            found[size_t(i)] = searchFolder(folders[i], i, matcher);
            done[size_t(i)].store(true, std::memory_order_release);
            return i;
        };
        std::thread helper([&] {
            while (work() >= 0) {
            }
        });
        int reported = 0;
        auto report = [&] {
            while (reported < n && done[size_t(reported)].load(std::memory_order_acquire)) {
                if (progress)
                    progress(reported, n);
                ++reported;
            }
        };
        while (work() >= 0)
            report();
        helper.join();
        report();
    }

    QList<SearchRow> rows;
    for (auto& row : found)
        if (row)
            rows.append(std::move(*row));
    return rows;
}

} // namespace kovra
