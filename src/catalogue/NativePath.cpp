#include "NativePath.h"

#include <QFile>

namespace kovra {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

QString fromNativePath(QByteArrayView bytes)
{
    return QFile::decodeName(bytes.toByteArray());
}

} // namespace kovra
