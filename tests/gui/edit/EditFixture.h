#pragma once

// A temporary program folder with image folders and area files written byte for byte, and a main
// window on it with the editing windows installed, as the program wires them.

#include "EditWindows.h"
#include "FileOps.h"
#include "MessageBox.h"
#include "frmMain.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace fixture {

inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

inline QString areaFile(const QString& folder, int area)
{
    return folder + QStringLiteral("/Area%1.INI").arg(area);
}

// Section Area as the arrangement window writes it.
inline QByteArray areaSection(bool visible, int left, int top, int width, int height)
{
    return QByteArrayLiteral("[Area]\r\nVisible=") + (visible ? "True" : "False") +
           "\r\nLeft=" + QByteArray::number(left) + "\r\nTop=" + QByteArray::number(top) +
           "\r\nWidth=" + QByteArray::number(width) + "\r\nHeight=" + QByteArray::number(height) + "\r\n";
}

// Sections ItemCount and Items with the given (code page 932) item bytes.
inline QByteArray itemSections(const QList<QByteArray>& items)
{
    QByteArray b = "[ItemCount]\r\nSum=" + QByteArray::number(items.size()) + "\r\n";
    if (items.isEmpty())
        return b;
    b += "[Items]\r\n";
    for (qsizetype k = 0; k < items.size(); ++k)
        b += "Item" + QByteArray::number(k) + "=" + items[k] + "\r\n";
    return b;
}

// Every area file (or temporary file) of a folder.
inline QStringList areaFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("Area*"), QStringLiteral(".*.kovra-tmp-*")},
                                  QDir::Files | QDir::Hidden, QDir::Name);
}

// Object names of the widgets that Tab visits, starting at first, once round.
inline QStringList tabChain(QWidget* first)
{
    QStringList names;
    QWidget* f = first;
    do {
        names << f->objectName();
        do
            f = f->nextInFocusChain();
        while (!(f->focusPolicy() & Qt::TabFocus) || f->isHidden());
    } while (f != first && names.size() < 20);
    return names;
}

class Catalogue
{
public:
    Catalogue() { QVERIFY(m_dir.isValid()); }

    QString root() const { return m_dir.path(); }

    // An image folder with IMAGE.INI and a white 320 x 240 picture.
    QString addImage(const QString& name, const QByteArray& title)
    {
        const QString folder = root() + QLatin1Char('/') + name;
        if (!QDir().mkpath(folder))
            return QString();
        const QString picture = folder + QStringLiteral("/picture.png");
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.save(picture);
        writeBytes(folder + QStringLiteral("/IMAGE.INI"), "[ImageFile]\r\nPath=" + picture.toUtf8() + "\r\nFilename=" +
                                                              picture.toUtf8() + "\r\nTitle=" + title + "\r\n");
        return folder;
    }

    // The main window on this folder, shown, with the editing windows installed.
    std::unique_ptr<frmMain> openMain() const
    {
        auto main = std::make_unique<frmMain>(root());
        kovra::edit::installWindows(*main);
        main->show();
        return main;
    }

private:
    QTemporaryDir m_dir;
};

// A disk that refuses every write (CI runs as root, so permission bits would not stop it).
class FullDisk : public kovra::FileOps
{
public:
    bool writeFile(const QString&, const QByteArray&) override { return false; }
};

} // namespace fixture
