#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Test helpers: files written byte for byte (never through our own writer) and a catalogue laid out
// as the Windows build leaves it.
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

// A 2 x 2 pixel 24-bit BMP picture, built here.
QByteArray tinyBmp();
// A 16 x 12 pixel JPEG picture (tests/data/shelf.jpg).
QByteArray tinyJpeg();

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
