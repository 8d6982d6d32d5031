#pragma once
// Interim stand-ins for file-layer functions on their way from another branch; removed at the merge.

#include "AreaFiles.h"
#include "CodePage.h"
#include "NativePath.h"
#include "Numbers.h"

#include <QFile>
#include <QList>
#include <charconv>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kovra {

inline std::unique_ptr<QFile> openRegularFile(const QString& path)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

inline QList<QByteArray> readItemBytes(const QString& folder, int areaIndex)
{
    const ProfileFile f = ProfileFile::load(areaFilePath(folder, areaIndex));
    const int n = numbers::toInt16(f.read(u"ItemCount", u"Sum", u"0", ItemSumBufferSize)).value_or(0);
    QList<QByteArray> items;
    char key[16] = {'I', 't', 'e', 'm'};
    for (int k = 0; k < n; ++k) {
        const auto end = std::to_chars(key + 4, key + sizeof key, k).ptr;
        const auto value = f.find("Items", QByteArrayView(key, end - key));
        items.append(value ? value->toByteArray() : QByteArray());
    }
    return items;
}

inline WriteStatus saveItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& items)
{
    QStringList text;
    for (const QByteArray& b : items)
        text.append(codepage::decode(b));
    return saveItems(folder, areaIndex, text);
}

} // namespace kovra
