#include "SearchScan.h"

#include "AreaFiles.h"
#include "BackgroundTask.h"
#include "CodePage.h"
#include "ImageFolders.h"
#include "Numbers.h"
#include "ProfileFile.h"

#include <QThread>
#include <atomic>
#include <memory>

namespace kovra {
namespace {

// Below this many folders a second thread costs more than it saves.
constexpr int MinFoldersPerThread = 8;

bool areaHasHit(const ProfileFile& file, const Matcher& matcher)
{
    return visitSearchItems(file, [&](QByteArrayView item) { return matcher.matchesBytes(item); });
}

} // namespace

QString SearchRow::hitAreaText() const
{
    QString text;
    for (int a : hitAreas)
        text += u',' + QString::number(a);
    return text;
}

std::optional<SearchRow> searchFolder(const QString& folder, int position, const Matcher& matcher, FileOps& ops)
{
    if (matcher.isEmpty())
        return std::nullopt;
    QList<int> areas;
    for (int a = 0; a < AreaCount; ++a) {
        const ProfileFile file = ProfileFile::load(areaFilePath(folder, a), ops);
        if (file.status() == ProfileFile::Status::Loaded && areaHasHit(file, matcher))
            areas.append(a);
    }
    if (areas.isEmpty())
        return std::nullopt;
    SearchRow row;
    row.title = ProfileFile::load(imageIniPath(folder), ops).read(u"ImageFile", u"Title", nonTitled(), TitleBufferSize);
    // Filename read as the search reads it (125 bytes), with the readers' shared fallbacks.
    row.picturePath = picturePathOf(folder, SearchFilenameBufferSize, ops);
    row.folder = folder;
    row.folderPosition = position;
    row.hitAreas = std::move(areas);
    return row;
}

void forEachFolder(int n, int threads, const std::function<void(int)>& work, const SearchProgress& progress)
{
    if (threads <= 0)
        threads = std::min(2, QThread::idealThreadCount());
    threads = std::clamp(std::min(threads, n / MinFoldersPerThread), 1, 2);

    if (threads == 1) {
        for (int i = 0; i < n; ++i) {
            work(i);
            if (progress)
                progress(i, n);
        }
        return;
    }
    // Both threads take the next folder from a shared counter; the caller's thread reports every
    // folder finished in order, so the gauge never runs ahead of a folder still being read.
    std::atomic<int> next{0};
    const auto done = std::make_unique<std::atomic<bool>[]>(size_t(n));
    auto step = [&]() -> int {
        const int i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= n)
            return -1;
        work(i);
        done[size_t(i)].store(true, std::memory_order_release);
        return i;
    };
    BackgroundTask helper([&](const std::atomic<bool>& stop) {
        while (!stop && step() >= 0) {
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
    // An exception here leaves through the helper's destructor, which stops it after its current folder.
    while (step() >= 0)
        report();
    helper.join();
    report();
}

QList<SearchRow> searchFolders(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress,
                               int threads, FileOps& ops)
{
    std::vector<std::optional<SearchRow>> found(static_cast<size_t>(folders.size()));
    forEachFolder(
        int(folders.size()), threads, [&](int i) { found[size_t(i)] = searchFolder(folders[i], i, matcher, ops); },
        progress);
    QList<SearchRow> rows;
    for (auto& row : found)
        if (row)
            rows.append(std::move(*row));
    return rows;
}

} // namespace kovra
