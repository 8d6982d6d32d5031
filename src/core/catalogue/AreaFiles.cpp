#include "AreaFiles.h"

#include "CodePage.h"
#include "FileOps.h"
#include "Numbers.h"

#include <algorithm>
#include <charconv>

namespace kovra {
namespace {

const QString AreaSection = QStringLiteral("Area");
const QString ItemCountSection = QStringLiteral("ItemCount");
const QString ItemsSection = QStringLiteral("Items");
const std::array<QString, 4> GeometryKeys = {QStringLiteral("Left"), QStringLiteral("Top"), QStringLiteral("Width"),
                                             QStringLiteral("Height")};

} // namespace

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

std::array<LoadedArea, AreaCount> loadImageAreas(const QString& folder)
{
    std::array<LoadedArea, AreaCount> areas;
    for (int i = 0; i < AreaCount; ++i) {
        const ProfileFile f = ProfileFile::load(areaFilePath(folder, i));
        LoadedArea& area = areas[size_t(i)];
        if (f.read(AreaSection, u"Visible", u"", GeometryBufferSize) != u"True") {
            area.state = LoadedArea::State::NotInUse;
            continue;
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
        if (area.state == LoadedArea::State::Failed)
            break; // the later areas stay Unread
    }
    return areas;
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
        const AreaMarker& m = markers[size_t(i)];
        const QString path = areaFilePath(folder, i);
        ProfileFile f = ProfileFile::load(path);
        const std::array<float, 4> values = {float(m.rect.left()), float(m.rect.top()), float(m.rect.width()),
                                             float(m.rect.height())};
        WriteStatus st = f.set(AreaSection, u"Visible", m.visible ? u"True" : u"False");
        for (size_t k = 0; k < GeometryKeys.size() && st == WriteStatus::Ok; ++k)
            st = f.set(AreaSection, GeometryKeys[k], numbers::formatSingle(values[k]));
        if (st == WriteStatus::Ok)
            st = f.stage(path, replacement);
        if (st != WriteStatus::Ok)
            return st;
    }
    return replacement.commit() ? WriteStatus::Ok : WriteStatus::Failed;
}

QList<QByteArray> readItemBytes(const QString& folder, int areaIndex)
{
    const ProfileFile f = ProfileFile::load(areaFilePath(folder, areaIndex));
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

WriteStatus saveItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& items)
{
    for (const QByteArray& item : items)
        if (item.contains('\r') || item.contains('\n'))
            return WriteStatus::InvalidInput;
    const QString path = areaFilePath(folder, areaIndex);
    const WriteLock lock(path);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(path);
    WriteStatus st = f.set(ItemCountSection, u"Sum", numbers::formatDecimal(double(items.size())));
    // A file edited by hand may hold the section twice; no key of an older list may survive.
    while (st == WriteStatus::Ok && f.hasSection(ItemsSection))
        st = f.removeSection(ItemsSection);
    for (qsizetype k = 0; k < items.size() && st == WriteStatus::Ok; ++k)
        st = f.setBytes(ItemsSection, QStringLiteral("Item%1").arg(k), items[k]);
    return st == WriteStatus::Ok ? f.save(path) : st;
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
