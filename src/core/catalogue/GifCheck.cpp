#include "GifCheck.h"

#include "FileOps.h"

#include <QFile>
#include <array>

namespace kovra::registration {

bool GifCkF(const QString& path)
{
    static constexpr std::array<char, 3> signature{71, 73, 70};
    // Never blocks: a FIFO or device in place of the file cannot be read, so it is not GIF.
    const std::unique_ptr<QFile> file = openRegularFile(path);
    if (!file)
        return false;
    std::array<char, 3> head{0, 0, 0};
    qint64 got = 0;
    while (got < qint64(head.size())) {
        const qint64 n = file->read(head.data() + got, qint64(head.size()) - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    return head == signature;
}

TypeCheck checkImageType(const QString& path, const std::function<bool(const QString&)>& gifCheck)
{
    if (path.right(3).compare(u"GIF", Qt::CaseInsensitive) == 0)
        return TypeCheck::RefusedByExtension;
    if (gifCheck && gifCheck(path))
        return TypeCheck::RefusedByContent;
    return TypeCheck::Accepted;
}

QString extensionRefusedText()
{
    return QStringLiteral("GIF形式は，ライセンスの制約上利用することができません．");
}

QString contentRefusedText()
{
    return QStringLiteral("このファイルはGIF形式であると判別されました．ライセンスの制約上利用することができません．");
}

} // namespace kovra::registration
