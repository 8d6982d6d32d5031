#pragma once

#include "CodePage.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// A temporary program folder whose image folders are written byte for byte as the program stores them
// (code page 932, CR LF): one picture of a single colour each, IMAGE.INI and the area files asked for.
class SearchCatalogue
{
public:
    static constexpr int PictureWidth = 120;
    static constexpr int PictureHeight = 90;

    SearchCatalogue() { QVERIFY(m_dir.isValid()); }

    QString path() const { return m_dir.path(); }

    static QByteArray cp932(const QString& text)
    {
        const auto bytes = kovra::codepage::encode(text);
        return bytes ? *bytes : QByteArray();
    }

    static void write(const QString& file, const QString& text)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString crlf = text;
        crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        const QByteArray bytes = cp932(crlf);
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // An image folder with its picture (BMP, one colour) and IMAGE.INI; returns its full path.
    QString image(const QString& name, const QString& title, const QColor& colour) const
    {
        const QString folder = m_dir.path() + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        QImage picture(PictureWidth, PictureHeight, QImage::Format_RGB32);
        picture.fill(colour);
        const QString file = folder + QStringLiteral("/photo.bmp");
        picture.save(file);
        write(folder + QStringLiteral("/IMAGE.INI"),
              QStringLiteral("[ImageFile]\nPath=%1\nFilename=%2\nTitle=%3\n").arg(folder, file, title));
        return folder;
    }

    QString folder(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    static void area(const QString& folder, int index, bool visible, const QRect& r, const QStringList& items,
                     const QString& left = QString())
    {
        QString text = QStringLiteral("[Area]\nVisible=%1\nLeft=%2\nTop=%3\nWidth=%4\nHeight=%5\n")
                           .arg(visible ? QStringLiteral("True") : QStringLiteral("False"),
                                left.isEmpty() ? QString::number(r.left()) : left, QString::number(r.top()),
                                QString::number(r.width()), QString::number(r.height()));
        text += QStringLiteral("[ItemCount]\nSum=%1\n[Items]\n").arg(items.size());
        for (int k = 0; k < items.size(); ++k)
            text += QStringLiteral("Item%1=%2\n").arg(k).arg(items[k]);
        write(folder + QStringLiteral("/Area%1.INI").arg(index), text);
    }

private:
    QTemporaryDir m_dir;
};
