#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// A temporary program folder with image folders whose files are written byte for byte (code page 932,
// CR LF), so the program reads bytes it did not produce.
class ProgramFolderFixture
{
public:
    ProgramFolderFixture() { QVERIFY(m_dir.isValid()); }

    QString path() const { return m_dir.path(); }
    QString folder(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    QString makeFolder(const QString& name) const
    {
        QDir(m_dir.path()).mkpath(name);
        return folder(name);
    }

    void write(const QString& relative, const QByteArray& bytes) const
    {
        const QString p = folder(relative);
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    QByteArray read(const QString& relative) const
    {
        QFile f(folder(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // An image folder with IMAGE.INI holding the given (already encoded) title and the picture's path.
    QString makeImage(const QString& name, const QByteArray& title, const QString& picture = QString()) const
    {
        const QString f = makeFolder(name);
        QByteArray ini = "[ImageFile]\r\nPath=" + f.toLocal8Bit() + "\r\n";
        if (!picture.isEmpty())
            ini += "Filename=" + f.toLocal8Bit() + "/" + picture.toLocal8Bit() + "\r\n";
        ini += "Title=" + title + "\r\n";
        write(name + QStringLiteral("/IMAGE.INI"), ini);
        return f;
    }

    // A picture of one colour.
    void makePicture(const QString& relative, QSize size, QColor colour) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(image.save(folder(relative)));
    }

    void writeArea(const QString& image, int index, const QByteArray& body) const
    {
        write(image + QStringLiteral("/Area%1.INI").arg(index), body);
    }

    static QByteArray area(const char* visible, int left, int top, int width, int height)
    {
        return QByteArray("[Area]\r\nVisible=") + visible + "\r\nLeft=" + QByteArray::number(left) +
               "\r\nTop=" + QByteArray::number(top) + "\r\nWidth=" + QByteArray::number(width) +
               "\r\nHeight=" + QByteArray::number(height) + "\r\n";
    }

private:
    QTemporaryDir m_dir;
};
