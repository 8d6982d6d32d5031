#include "RegistrationQueue.h"

#include "GifCheck.h"
#include "NativePath.h"

#include <QFileInfo>
#include <algorithm>

namespace kovra {
namespace {

QString suffixOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

} // namespace

QStringList RegistrationQueue::pictureSuffixes()
{
    return {QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),  QStringLiteral("jfif"),
            QStringLiteral("png"),  QStringLiteral("bmp"),  QStringLiteral("webp"), QStringLiteral("heic"),
            QStringLiteral("heif"), QStringLiteral("avif")};
}

bool RegistrationQueue::isPictureName(const QString& name)
{
    return pictureSuffixes().contains(suffixOf(name));
}

RegistrationQueue RegistrationQueue::ofPaths(const QStringList& paths)
{
    RegistrationQueue queue;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        if (pathKind(path) != PathKind::Folder) {
            queue.m_entries.append({path, false});
            continue;
        }
        Folder folder{path, 0, 0};
        QStringList names;
        for (const QString& name : folderEntries(path)) {
            // Hidden files are the desktop's and other programs' (thumbnails, our own temporaries).
            if (name.startsWith(u'.'))
                continue;
            const bool gifName = suffixOf(name) == u"gif";
            if (!gifName && !isPictureName(name))
                continue;
            const QString file = path + u'/' + name;
            if (pathKind(file) != PathKind::File)
                continue; // subfolders are not entered; a FIFO or device would hold the program up
            if (gifName || registration::GifCkF(file))
                ++folder.gifs;
            else
                names.append(name);
        }
        std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
        const QString prefix = path.endsWith(u'/') ? path : path + u'/';
        for (const QString& name : names)
            queue.m_entries.append({prefix + name, false});
        folder.pictures = int(names.size());
        queue.m_folders.append(folder);
    }
    return queue;
}

RegistrationQueue RegistrationQueue::ofPasted(const QString& path)
{
    RegistrationQueue queue;
    queue.m_entries.append({path, true});
    return queue;
}

QString RegistrationQueue::currentPath() const
{
    return atEnd() ? QString() : m_entries[m_current].path;
}

QString RegistrationQueue::positionText() const
{
    if (atEnd() || !isBatch())
        return {};
    return QString::number(number()) + u'/' + QString::number(count());
}

void RegistrationQueue::registered()
{
    if (atEnd())
        return;
    ++m_registered;
    ++m_current;
}

void RegistrationQueue::skip()
{
    if (!atEnd())
        ++m_current;
}

std::optional<QString> RegistrationQueue::proposedTitle(const QString& typed) const
{
    if (atEnd() || m_entries[m_current].pasted)
        return std::nullopt;
    if (!isBatch() && !typed.isEmpty())
        return std::nullopt; // a single picture keeps what the user typed
    return QFileInfo(m_entries[m_current].path).completeBaseName();
}

} // namespace kovra
