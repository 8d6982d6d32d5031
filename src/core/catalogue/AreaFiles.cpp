#include "AreaFiles.h"

#include "CodePage.h"
#include "FileOps.h"
#include "Numbers.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <vector>

namespace kovra {
QString areaFilePath(const QString& folder, int areaIndex)
{
    return folder + QStringLiteral("/Area") + QString::number(areaIndex) + QStringLiteral(".INI");
}

int AreaTable::freeCount() const
{
    int n = 0;
    for (bool s : shown)
        n += s ? 0 : 1;
    return n;
}

int AreaTable::firstFree() const
{
    for (int i = 0; i < AreaCount; ++i)
        if (!shown[size_t(i)])
            return i;
    return -1;
}

namespace {

LoadedArea readArea(const ProfileFile& f)
{
    LoadedArea area;
    if (f.read(AreaSection, u"Visible", u"", GeometryBufferSize) != u"True") {
        area.state = LoadedArea::State::NotInUse;
        return area;
    }
    area.state = LoadedArea::State::InUse;
    for (size_t k = 0; k < GeometryKeys.size(); ++k) {
        const auto v = numbers::toInt16(f.read(AreaSection, GeometryKeys[k], u"", GeometryBufferSize));
        if (!v) {
            area.state = LoadedArea::State::Failed;
            break;
        }
        area.geometry[k] = v;
    }
    return area;
}

// Section Area of one marker into its file, staged beside it.
WriteStatus stageArea(const QString& path, const AreaMarker& m, FileReplacement& replacement)
{
    ProfileFile f = ProfileFile::load(path);
    const std::array<float, 4> values = {float(m.rect.left()), float(m.rect.top()), float(m.rect.width()),
                                         float(m.rect.height())};
    WriteStatus st = f.set(AreaSection, u"Visible", m.visible ? u"True" : u"False");
    for (size_t k = 0; k < GeometryKeys.size() && st == WriteStatus::Ok; ++k)
        st = f.set(AreaSection, GeometryKeys[k], numbers::formatSingle(values[k]));
    if (st == WriteStatus::Ok)
        st = f.stage(path, replacement);
    return st;
}

// The marker as the reader will read it once written.
LoadedArea readingOf(const AreaMarker& m)
{
    LoadedArea area;
    area.state = m.visible ? LoadedArea::State::InUse : LoadedArea::State::NotInUse;
    const std::array<float, 4> values = {float(m.rect.left()), float(m.rect.top()), float(m.rect.width()),
                                         float(m.rect.height())};
    for (size_t k = 0; k < values.size() && m.visible; ++k) {
        area.geometry[k] = numbers::toInt16(numbers::formatSingle(values[k]));
        if (!area.geometry[k]) {
            area.state = LoadedArea::State::Failed;
            break;
        }
    }
    return area;
}

} // namespace

std::array<LoadedArea, AreaCount> loadImageAreas(const QString& folder)
{
    std::array<LoadedArea, AreaCount> areas;
    for (int i = 0; i < AreaCount; ++i) {
        areas[size_t(i)] = readArea(ProfileFile::load(areaFilePath(folder, i)));
        if (areas[size_t(i)].state == LoadedArea::State::Failed)
            break; // the later areas stay Unread
    }
    return areas;
}

LoadedArea readImageArea(const QString& folder, int areaIndex)
{
    return readArea(ProfileFile::load(areaFilePath(folder, areaIndex)));
}

bool sameReading(const LoadedArea& a, const LoadedArea& b)
{
    if (a.state != b.state)
        return false;
    return a.state == LoadedArea::State::NotInUse || a.geometry == b.geometry;
}

std::array<std::optional<qint16>, 4> readAreaGeometry(const QString& folder, int areaIndex)
{
    const ProfileFile f = ProfileFile::load(areaFilePath(folder, areaIndex));
    std::array<std::optional<qint16>, 4> g;
    for (size_t k = 0; k < GeometryKeys.size(); ++k)
        g[k] = numbers::toInt16(f.read(AreaSection, GeometryKeys[k], u"", GeometryBufferSize));
    return g;
}

WriteStatus saveArrangement(const QString& folder, const std::array<AreaMarker, AreaCount>& markers,
                            const std::array<bool, AreaCount>& leaveAlone)
{
    const WriteLock lock(areaFilePath(folder, 0));
    if (lock.timedOut())
        return WriteStatus::Failed;
    // Every new file is written aside first: a refusal or a full disk before the renames changes nothing.
    FileReplacement replacement;
    for (int i = 0; i < AreaCount; ++i) {
        if (leaveAlone[size_t(i)])
            continue;
        const WriteStatus st = stageArea(areaFilePath(folder, i), markers[size_t(i)], replacement);
        if (st != WriteStatus::Ok)
            return st;
    }
    return replacement.commit() ? WriteStatus::Ok : WriteStatus::Failed;
}

ArrangementMerge mergeArrangement(const QString& folder, const std::array<ArrangementArea, AreaCount>& areas)
{
    ArrangementMerge result;
    const WriteLock lock(areaFilePath(folder, 0));
    if (lock.timedOut())
        return result;
    FileReplacement replacement;
    for (int i = 0; i < AreaCount; ++i) {
        const ArrangementArea& a = areas[size_t(i)];
        result.disk[size_t(i)] = a.read;
        if (a.leaveAlone)
            continue;
        const QString path = areaFilePath(folder, i);
        const LoadedArea now = readArea(ProfileFile::load(path));
        const bool changedThere = !sameReading(now, a.read);
        // Untouched here and changed there: the other writer's area stands. Untouched on both sides it is
        // written as before, so that every area file exists after a save.
        if (changedThere && !a.changedHere)
            continue;
        if (changedThere && !sameReading(now, readingOf(a.marker)))
            result.changedElsewhere.append(i);
        result.status = stageArea(path, a.marker, replacement);
        if (result.status != WriteStatus::Ok)
            return result;
        result.written[size_t(i)] = true;
    }
    if (!replacement.commit()) {
        result.status = WriteStatus::Failed;
        return result;
    }
    result.status = WriteStatus::Ok;
    for (int i = 0; i < AreaCount; ++i)
        if (!areas[size_t(i)].leaveAlone)
            result.disk[size_t(i)] = readImageArea(folder, i);
    return result;
}

namespace {

// Sum, section Items gone, then Item0... into the loaded file, saved in one replacement.
WriteStatus writeItems(ProfileFile& f, const QString& path, const QList<QByteArray>& items)
{
    WriteStatus st = f.set(ItemCountSection, u"Sum", numbers::formatDecimal(double(items.size())));
    // A file edited by hand may hold the section twice; no key of an older list may survive.
    while (st == WriteStatus::Ok && f.hasSection(ItemsSection))
        st = f.removeSection(ItemsSection);
    for (qsizetype k = 0; k < items.size() && st == WriteStatus::Ok; ++k)
        st = f.setBytes(ItemsSection, QStringLiteral("Item%1").arg(k), items[k]);
    return st == WriteStatus::Ok ? f.save(path) : st;
}

bool holdsLineBreak(const QList<QByteArray>& items)
{
    return std::any_of(items.begin(), items.end(),
                       [](const QByteArray& item) { return item.contains('\r') || item.contains('\n'); });
}

} // namespace

QList<QByteArray> readItemBytes(const ProfileFile& f)
{
    const auto sum = numbers::toInt16(f.read(ItemCountSection, u"Sum", u"0", ItemSumBufferSize));
    QList<QByteArray> items;
    const int n = sum.value_or(0);
    items.reserve(std::max(n, 0));
    // Key names as bytes, without building text per key: a hand-edited Sum of 32767 stays cheap.
    char key[16] = {'I', 't', 'e', 'm'};
    for (int k = 0; k < n; ++k) {
        const auto end = std::to_chars(key + 4, key + sizeof key, k).ptr;
        const auto value = f.find("Items", QByteArrayView(key, end - key));
        items.append(value ? value->toByteArray() : QByteArray());
    }
    return items;
}

QList<QByteArray> readItemBytes(const QString& folder, int areaIndex)
{
    return readItemBytes(ProfileFile::load(areaFilePath(folder, areaIndex)));
}

WriteStatus saveItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& items)
{
    if (holdsLineBreak(items))
        return WriteStatus::InvalidInput;
    const QString path = areaFilePath(folder, areaIndex);
    const WriteLock lock(path);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(path);
    return writeItems(f, path, items);
}

QList<QByteArray> mergeItemRows(const QList<QByteArray>& base, const QList<QByteArray>& mine,
                                const QList<QByteArray>& theirs)
{
    // Rows are only appended or removed here, so mine is base with rows taken out and rows added at the end:
    // match mine in order against base; what base has left over was removed, what mine has left was added.
    std::vector<bool> kept(size_t(base.size()), false);
    QList<QByteArray> added;
    qsizetype next = 0;
    for (const QByteArray& row : mine) {
        qsizetype p = next;
        while (p < base.size() && base[p] != row)
            ++p;
        if (p < base.size()) {
            kept[size_t(p)] = true;
            next = p + 1;
        } else {
            added.append(row);
        }
    }
    // The rank of each removed row among the equal rows of base picks the occurrence taken from theirs.
    QHash<QByteArray, QList<qsizetype>> removedRanks;
    QHash<QByteArray, qsizetype> seen;
    for (qsizetype k = 0; k < base.size(); ++k) {
        const qsizetype rank = seen[base[k]]++;
        if (!kept[size_t(k)])
            removedRanks[base[k]].append(rank);
    }
    QHash<QByteArray, QList<qsizetype>> positions;
    for (qsizetype k = 0; k < theirs.size(); ++k)
        positions[theirs[k]].append(k);
    std::vector<bool> drop(size_t(theirs.size()), false);
    for (auto it = removedRanks.cbegin(); it != removedRanks.cend(); ++it) {
        const QList<qsizetype>& at = positions.value(it.key());
        const QList<qsizetype>& ranks = it.value();
        const qsizetype n = ranks.size(), have = at.size();
        if (n >= have) {
            for (qsizetype p : at)
                drop[size_t(p)] = true;
            continue;
        }
        // Ascending ranks onto distinct occurrences: the same one where it exists, else the last free ones.
        for (qsizetype i = 0; i < n; ++i)
            drop[size_t(at[std::min(ranks[i], have - n + i)])] = true;
    }
    QList<QByteArray> result;
    result.reserve(theirs.size() + added.size());
    for (qsizetype k = 0; k < theirs.size(); ++k)
        if (!drop[size_t(k)])
            result.append(theirs[k]);
    result.append(added);
    return result;
}

ItemMerge mergeItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& base,
                         const QList<QByteArray>& mine)
{
    ItemMerge result;
    if (holdsLineBreak(mine)) {
        result.status = WriteStatus::InvalidInput;
        return result;
    }
    const QString path = areaFilePath(folder, areaIndex);
    const WriteLock lock(path);
    if (lock.timedOut())
        return result;
    ProfileFile f = ProfileFile::load(path);
    result.rows = mergeItemRows(base, mine, readItemBytes(f));
    result.status = writeItems(f, path, result.rows);
    if (result.status != WriteStatus::Ok)
        result.rows.clear();
    return result;
}

QStringList readItems(const QString& folder, int areaIndex)
{
    const QList<QByteArray> bytes = readItemBytes(folder, areaIndex);
    QStringList items;
    items.reserve(bytes.size());
    for (const QByteArray& b : bytes)
        items.append(codepage::decode(b));
    return items;
}

WriteStatus saveItems(const QString& folder, int areaIndex, const QStringList& items)
{
    QList<QByteArray> bytes;
    bytes.reserve(items.size());
    for (const QString& item : items) {
        const codepage::StoreCheck check = codepage::checkStorable(item);
        if (!check)
            return check.problem == codepage::StoreCheck::Problem::LineBreak ? WriteStatus::InvalidInput
                                                                             : WriteStatus::Unencodable;
        bytes.append(*codepage::encode(item));
    }
    return saveItemBytes(folder, areaIndex, bytes);
}

} // namespace kovra
