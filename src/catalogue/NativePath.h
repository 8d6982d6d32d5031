#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The one place where a path held as text becomes the bytes the kernel takes, and back.
// Every system call of the catalogue layer takes its path through nativePath().
namespace kovra {

QByteArray nativePath(const QString& path);
QString fromNativePath(QByteArrayView bytes);

} // namespace kovra
