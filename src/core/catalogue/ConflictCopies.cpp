#include "ConflictCopies.h"

#include "AreaFiles.h"
#include "FileOps.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "Numbers.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace kovra {
namespace {

const QString ImageSection = QStringLiteral("ImageFile");

// The catalogue's name for NAME.EXT when it is IMAGE.INI or an area file; area is set for the latter.
std::optional<QString> catalogueName(const QString& name, const QString& ext, int& area)
{
    if (ext.compare(u"ini", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (name.compare(u"image", Qt::CaseInsensitive) == 0) {
        area = -1;
        return imageIniPath(QString()).mid(1);
    }
    static const QRegularExpression areaName(QStringLiteral("^area(0|[1-9][0-9]?)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = areaName.match(name);
    if (!m.hasMatch() || m.captured(1).toInt() >= AreaCount)
        return std::nullopt;
    area = m.captured(1).toInt();
    return areaFilePath(QString(), area).mid(1);
}

// The rows as the item window reads them: Sum with its buffer, a missing key an empty row.
bool inUse(const ProfileFile& f)
{
    return f.read(AreaSection, u"Visible", u"", GeometryBufferSize) == u"True";
}

// A copy worth merging: read whole, not UTF-16, and empty or holding a section of its kind.
bool usableCopy(const ProfileFile& copy, int area)
{
    if (copy.status() != ProfileFile::Status::Loaded || copy.isUtf16())
        return false;
    if (copy.bytes().trimmed().isEmpty())
        return true;
    if (area < 0)
        return copy.hasSection(ImageSection);
    return copy.hasSection(AreaSection) || copy.hasSection(ItemCountSection) || copy.hasSection(ItemsSection);
}

} // namespace

std::optional<ConflictName> conflictCopyOf(QStringView fileName)
{
    // Every name of every folder comes here at start: the patterns only for names that may match one.
    if (!fileName.contains(u".sync-conflict-") && !fileName.contains(u"conflicted copy"))
        return std::nullopt;
    const QString name = fileName.toString();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return std::nullopt;
    const QString stem = name.left(dot);
    const QString ext = name.mid(dot + 1);

    static const QRegularExpression syncthing(
        QStringLiteral("^([^.]+)\\.sync-conflict-[0-9]{8}-[0-9]{6}-[A-Z0-9]{7}$"));
    static const QRegularExpression nextcloud(
        QStringLiteral("^([^ ]+) \\(conflicted copy [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{6}\\)$"));
    static const QRegularExpression dropbox(QStringLiteral("^([^ ]+) \\(.*conflicted copy.*\\)$"));

    ConflictName result;
    QRegularExpressionMatch m = syncthing.match(stem);
    if (m.hasMatch()) {
        result.source = ConflictName::Source::Syncthing;
    } else if (m = nextcloud.match(stem); m.hasMatch()) {
        result.source = ConflictName::Source::Nextcloud;
    } else if (m = dropbox.match(stem); m.hasMatch()) {
        result.source = ConflictName::Source::Dropbox;
    } else {
        return std::nullopt;
    }
    const auto original = catalogueName(m.captured(1), ext, result.area);
    if (!original)
        return std::nullopt;
    result.original = *original;
    return result;
}

QStringList conflictCopies(const QString& folder)
{
    QStringList names;
    for (const QString& name : folderEntries(folder))
        if (conflictCopyOf(name) && !isSymLink(folder + u'/' + name) && isRegularFile(folder + u'/' + name))
            names.append(name);
    std::sort(names.begin(), names.end());
    return names;
}

AreaMerge mergeAreaFile(const ProfileFile& file, const ProfileFile& copy)
{
    AreaMerge result;
    ProfileFile merged = file;

    const QList<QByteArray> rows = readItemBytes(file);
    QHash<QByteArray, int> held;
    for (const QByteArray& row : rows)
        ++held[row];
    for (const QByteArray& row : readItemBytes(copy)) {
        int& n = held[row];
        if (n > 0)
            --n;
        else
            result.itemsAdded.append(row);
    }
    // Sum reads back as a 16-bit number: a longer list would read as no items at all.
    result.tooManyItems = rows.size() + result.itemsAdded.size() > std::numeric_limits<qint16>::max();
    if (!result.itemsAdded.isEmpty() && !result.tooManyItems) {
        // As the item window saves: Sum, the section removed, then Item0... in order.
        const QList<QByteArray> all = rows + result.itemsAdded;
        merged.set(ItemCountSection, u"Sum", numbers::formatDecimal(double(all.size())));
        while (merged.hasSection(ItemsSection))
            merged.removeSection(ItemsSection);
        for (qsizetype k = 0; k < all.size(); ++k)
            merged.setBytes(ItemsSection, QStringLiteral("Item%1").arg(k), all[k]);
    }

    if (!inUse(file) && inUse(copy)) {
        std::array<QString, 4> values;
        bool convertible = true;
        for (size_t k = 0; k < GeometryKeys.size(); ++k) {
            values[k] = copy.read(AreaSection, GeometryKeys[k], u"", GeometryBufferSize);
            convertible = convertible && numbers::toInt16(values[k]).has_value();
        }
        // A rectangle the marker reading cannot convert would hide this and every later area.
        if (convertible) {
            merged.set(AreaSection, u"Visible", u"True");
            for (size_t k = 0; k < GeometryKeys.size(); ++k)
                merged.set(AreaSection, GeometryKeys[k], values[k]);
            result.rectTaken = true;
        }
    }
    result.bytes = merged.bytes();
    result.changed = result.bytes != file.bytes();
    return result;
}

QList<ConflictMerge> mergeConflictCopies(const QString& folder, ConflictMode mode)
{
    const QStringList names = conflictCopies(folder);
    if (names.isEmpty())
        return {};
    FileOps& ops = FileOps::current();
    std::optional<WriteLock> lock;
    if (mode == ConflictMode::Merge)
        lock.emplace(imageIniPath(folder));
    const bool locked = !lock || !lock->timedOut();

    // Each file as the merges before left it, so that several copies of one file add up.
    QHash<QString, ProfileFile> current;
    QList<ConflictMerge> reports;
    for (const QString& name : names) {
        const ConflictName cn = *conflictCopyOf(name);
        ConflictMerge r;
        r.folder = folder;
        r.copyName = name;
        r.area = cn.area;
        r.source = cn.source;
        const QString path = existingPath(folder + u'/' + cn.original);
        r.fileName = path.mid(path.lastIndexOf(u'/') + 1);

        const ProfileFile copy = ProfileFile::load(folder + u'/' + name);
        if (copy.status() == ProfileFile::Status::TooLarge || !usableCopy(copy, cn.area)) {
            r.problem = copy.status() == ProfileFile::Status::TooLarge ? ConflictMerge::Problem::CopyTooLarge
                                                                       : ConflictMerge::Problem::CopyUnreadable;
            reports.append(r);
            continue;
        }
        const ProfileFile file = current.contains(cn.original) ? current.value(cn.original) : ProfileFile::load(path);
        QByteArray merged;
        if (file.status() == ProfileFile::Status::Missing) {
            merged = copy.bytes();
            r.copyBecameFile = true;
            r.fileChanged = true;
        } else if (file.status() != ProfileFile::Status::Loaded || file.isUtf16()) {
            r.problem = ConflictMerge::Problem::FileUnreadable;
            reports.append(r);
            continue;
        } else if (cn.area >= 0) {
            AreaMerge m = mergeAreaFile(file, copy);
            if (m.tooManyItems) {
                r.problem = ConflictMerge::Problem::TooManyItems;
                reports.append(r);
                continue;
            }
            r.itemsAdded = m.itemsAdded;
            r.rectTaken = m.rectTaken;
            r.fileChanged = m.changed;
            merged = m.bytes;
        } else {
            merged = file.bytes();
            const auto title = copy.rawValue(ImageSection, u"Title");
            if (title && title != file.rawValue(ImageSection, u"Title"))
                r.copyTitle = copy.value(ImageSection, u"Title");
        }

        if (mode == ConflictMode::Merge) {
            if (!locked) {
                r.problem = ConflictMerge::Problem::WriteFailed;
                reports.append(r);
                continue;
            }
            // The copy goes only once the merged file is on the disk under its name.
            if (r.fileChanged && (ProfileFile(merged).save(path) != WriteStatus::Ok || !ops.syncFolder(folder))) {
                r.problem = ConflictMerge::Problem::WriteFailed;
                reports.append(r);
                continue;
            }
            r.copyRemoved = ops.removeFile(folder + u'/' + name);
            if (r.copyRemoved)
                ops.syncFolder(folder);
            else
                r.problem = ConflictMerge::Problem::RemoveFailed;
        }
        current.insert(cn.original, ProfileFile(merged));
        reports.append(r);
    }

    const ProfileFile imageIni = current.contains(imageIniPath(QString()).mid(1))
                                     ? current.value(imageIniPath(QString()).mid(1))
                                     : ProfileFile::load(imageIniPath(folder));
    const QString title = imageIni.read(ImageSection, u"Title", nonTitled(), TitleBufferSize);
    for (ConflictMerge& r : reports)
        r.title = title;
    return reports;
}

} // namespace kovra
