#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Test helpers: files written byte for byte (never through our own writer), program folders built from
// them, and a catalogue laid out as the Windows build leaves it. QtCore and QtGui only, as the core: the
// core tests and the fuzz seeds use it too.
namespace kovra::test {

// Writes bytes exactly as given, creating missing folders. False when the disk refused.
bool writeBytes(const QString& path, const QByteArray& bytes);
// The whole file, empty when it cannot be read.
QByteArray readBytes(const QString& path);
// Names of the files directly inside folder, sorted.
QStringList fileNames(const QString& folder);

// The same by the kernel's bytes of a path, with POSIX calls: for names that are not UTF-8, which Qt's
// file classes would lose. rawWrite does not create folders; rawMkdir makes one folder.
bool rawMkdir(const QByteArray& path);
bool rawWrite(const QByteArray& path, const QByteArray& bytes);
QByteArray rawRead(const QByteArray& path);

// Code page 932 bytes of text. A text outside the code page is a broken test: it stops the program.
QByteArray cp932(const QString& text);
// Each line in code page 932 followed by CR LF.
QByteArray cp932Lines(const QStringList& lines);
// Writes text (or lines, each ended by CR LF) as code page 932 bytes, creating missing folders. False when
// the text is outside the code page or the disk refused.
bool writeCp932(const QString& path, const QString& text);
bool writeCp932(const QString& path, const QStringList& lines);

// A 2 x 2 pixel 24-bit BMP picture, built here.
QByteArray tinyBmp();
// The 54-byte header of a 32-bit BMP picture of width x height pixels, whose pixel rows (width x height x 4
// bytes, bottom row first) follow it: any bytes make a picture, so large ones are written in chunks.
QByteArray bmpHeader(int width, int height);
// A 16 x 12 pixel JPEG picture (tests/data/shelf.jpg).
QByteArray tinyJpeg();
// A picture of one colour, of the kind fileName's extension names (bmp, png, jpg...); empty for another.
QByteArray picture(const QString& fileName, QSize size, const QColor& colour);

// Area file index of an image folder.
QString areaFile(const QString& folder, int index);
// Area files and temporaries of the file seam in folder, sorted.
QStringList areaFiles(const QString& folder);
// Section Area as the arrangement window writes it.
QByteArray areaSection(bool visible, int left, int top, int width, int height);
// Sections ItemCount and Items (left out without items) with the given code page 932 item bytes.
QByteArray itemSections(const QList<QByteArray>& items);

// A temporary program folder, removed with the builder, whose files are written byte for byte: image
// folders with IMAGE.INI, pictures, area files in code page 932 with CR LF, so the program reads bytes it
// did not produce. Relative names are taken inside the program folder, absolute paths as they are.
// Set-up in a fresh temporary folder cannot fail for a reason a test looks at: a write that fails stops
// the test program with the path.
class CatalogueBuilder
{
public:
    CatalogueBuilder();

    QString path() const { return m_dir.path(); }
    QString root() const { return m_dir.path(); }
    QString folder(const QString& relative) const;

    QString makeFolder(const QString& name) const;
    void write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;

    // An image folder whose IMAGE.INI names the folder (Path), the picture inside it (Filename; left out
    // without one) and the title given as code page 932 bytes. Returns the folder's path.
    QString makeImage(const QString& name, const QByteArray& title, const QString& picture = QString()) const;
    // A picture of one colour, of the kind its extension names.
    void makePicture(const QString& relative, QSize size, const QColor& colour) const;
    // An image folder with its picture of one colour and IMAGE.INI naming both.
    QString addImage(const QString& name, const QByteArray& title,
                     const QString& picture = QStringLiteral("picture.png"), QSize size = QSize(320, 240),
                     const QColor& colour = Qt::white) const;

    // Area file index of image (a folder name or path), byte for byte.
    void writeArea(const QString& image, int index, const QByteArray& body) const;
    // An area file as the Windows build writes it: section Area (Left given as text when left is not
    // empty, for fractions), ItemCount and Items (present even when empty), in code page 932.
    void addArea(const QString& image, int index, bool visible, const QRect& r, const QStringList& items,
                 const QString& left = QString()) const;
    // Section Area with Visible as given ("True", "true", "False"...) and the rectangle.
    static QByteArray area(const char* visible, int left, int top, int width, int height);

    // The catalogue of namespace fixture below, in this program folder.
    bool addFixtureCatalogue() const;

private:
    QTemporaryDir m_dir;
};

// The catalogue:
//   KOVRA.INI                 section Window with Top and Left, and a section of the user's
//   manual/manual.htm
//   20030405060708/           shelf.jpg; IMAGE.INI with Windows paths; Area0 (Left=12.5, Sum larger than
//                             the stored keys, a quoted item), Area1 (Visible=true), Area2 (in use)
//   20030405060709/           box.bmp; IMAGE.INI with a 130-byte title and Windows paths
//   20040101000000/           no IMAGE.INI
//   Photos/                   a folder of the user's, sorting after manual
namespace fixture {
inline constexpr char16_t ShelfFolder[] = u"20030405060708";
inline constexpr char16_t BoxFolder[] = u"20030405060709";
inline constexpr char16_t BareFolder[] = u"20040101000000";
inline constexpr char16_t UserFolder[] = u"Photos";

// Title of ShelfFolder: "ソファ横の棚" (its first byte pair is 83 5C).
QString shelfTitle();
// The 130 bytes of BoxFolder's title: 65 double-byte characters.
QByteArray longTitleBytes();
// The stored IMAGE.INI of ShelfFolder, byte for byte.
QByteArray shelfImageIni();
// The stored Area0.INI of ShelfFolder, byte for byte.
QByteArray shelfArea0();
// KOVRA.INI as stored.
QByteArray settingsIni();

// Lays the catalogue out under root (which must exist). False when a file could not be written.
bool create(const QString& root);
} // namespace fixture

} // namespace kovra::test
