#include "ReferenceScan.h"

#include "AreaFiles.h"
#include "ImageFolders.h"
#include "Numbers.h"
#include "ProfileFile.h"

namespace kovra::bench {

QList<SearchRow> referenceSearch(const QStringList& folders, QStringView searchText)
{
    const Matcher matcher(searchText);
    QList<SearchRow> rows;
    for (int i = 0; i < folders.size(); ++i) {
        const QString& folder = folders[i];
        QList<int> areas;
        for (int a = 0; a < AreaCount; ++a) {
            const QString path = areaFilePath(folder, a);
            const int count = numbers::toInt16(getProfileString(u"ItemCount", u"Sum", u"0", SearchSumBufferSize, path))
                                  .value_or(qint16(0));
            bool hit = false;
            for (int k = 0; k < count; ++k) {
                const QString item =
                    getProfileString(u"Items", QStringLiteral("Item%1").arg(k), u"", ItemBufferSize, path);
                if (matcher.matches(item))
                    hit = true;
            }
            if (hit)
                areas.append(a);
        }
        if (areas.isEmpty())
            continue;
        const QString ini = imageIniPath(folder);
        SearchRow row;
        row.title = getProfileString(u"ImageFile", u"Title", nonTitled(), TitleBufferSize, ini);
        row.picturePath =
            resolvePicturePath(folder, getProfileString(u"ImageFile", u"Filename", u"", SearchFilenameBufferSize, ini));
        row.folder = folder;
        row.folderPosition = i;
        row.hitAreas = areas;
        rows.append(row);
    }
    return rows;
}

} // namespace kovra::bench
