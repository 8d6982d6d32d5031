#pragma once

#include <QCache>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <deque>

namespace kovra {

// Small pictures of search results, each cropped around the areas that hold hits and outlined in red as the
// main window's hit frames are. Made on two worker threads of the object's own, kept in memory (the last
// MemoryCount) and on disk (PNG files under a cache folder, bounded by size), so that a result list can be
// painted at once and filled in as the pictures arrive.
// Use the object from one thread (the user-interface thread); ready() arrives on it.
class HitThumbnails : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString folder;      // the image folder, whose area files give the hit rectangles
        QString picturePath; // its picture file
        QList<int> hitAreas; // area indexes with hits
    };
    enum class State { Pending, Ready, Failed };
    struct Thumbnail
    {
        State state = State::Pending;
        QImage image; // within the asked pixel size, when Ready
    };

    static constexpr int MemoryCount = 300;
    static constexpr int MaxQueued = 64; // older requests beyond it are dropped (asked again when painted)

    // The user's cache folder ($XDG_CACHE_HOME/kovra/thumbnails): never the program folder. Empty when the
    // system names no cache location; an empty directory means no disk cache.
    static QString defaultDirectory();

    explicit HitThumbnails(QString cacheDirectory = defaultDirectory(), qint64 limitBytes = qint64(64) << 20,
                           QObject* parent = nullptr);
    ~HitThumbnails() override;

    // The thumbnail fitted into devicePixels. Ready or Failed when known; else Pending, and the work is queued
    // once (ready(keyOf(...)) follows). A known one is checked again on the worker once after each
    // dropPending(): when its picture or rectangles changed, a new one is made and ready() told again.
    Thumbnail thumbnail(const Request& request, QSize devicePixels);
    // Queued work not yet started is forgotten (a new search replaced the results).
    void dropPending();

    // The request's key: folder, picture path, hit areas and pixel size. The picture's size and modification time
    // and the areas' rectangles are read on the worker and make the disk cache's key (fileKey).
    static QString keyOf(const Request& request, QSize devicePixels);

    // Thumbnails made from the picture (not read from the disk cache) by all objects since start.
    static int madeCount();

signals:
    void ready(const QString& key);

private:
    struct Job
    {
        QString key;
        Request request;
        QSize pixels;
        int generation = 0;
    };
    struct Entry
    {
        Thumbnail thumbnail;
        int generation = 0;
    };
    void startWorkers();
    void work();
    Thumbnail make(const Job& job);
    void finished(const QString& key, const Thumbnail& thumbnail, int generation);
    void prune();

    const QString m_directory;
    const qint64 m_limit;
    QCache<QString, Entry> m_memory{MemoryCount};
    QSet<QString> m_pending; // queued or running, user-interface thread only
    int m_generation = 0;

    QMutex m_queueMutex; // guards m_queue and m_workers
    std::deque<Job> m_queue;
    int m_workers = 0;
    QMutex m_pruneMutex;
    QThreadPool m_pool;
    static std::atomic<int> s_made;
};

} // namespace kovra
