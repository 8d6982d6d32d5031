#include "WindowPosition.h"

#include "FileOps.h"
#include "Numbers.h"

namespace kovra {
namespace {

// The old program passed a buffer of 30 with the size limit 26: at most 25 characters arrive.
constexpr int PositionBufferSize = 26;

} // namespace

void readWindowPosition(const QString& settingsPath, PositionedWindow& window)
{
    const ProfileFile f = ProfileFile::load(settingsPath);
    window.setTopTwips(numbers::leadingNumber(f.read(u"Window", u"Top", u"300", PositionBufferSize)));
    window.setLeftTwips(numbers::leadingNumber(f.read(u"Window", u"Left", u"300", PositionBufferSize)));
}

WriteStatus saveWindowPosition(const QString& settingsPath, const PositionedWindow& window)
{
    const WriteLock lock(settingsPath);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(settingsPath);
    WriteStatus st = f.set(u"Window", u"Top", numbers::formatDecimal(window.topTwips()));
    if (st == WriteStatus::Ok)
        st = f.set(u"Window", u"Left", numbers::formatDecimal(window.leftTwips()));
    return st == WriteStatus::Ok ? f.save(settingsPath) : st;
}

QSizeF readWindowSize(const QString& settingsPath)
{
    const ProfileFile f = ProfileFile::load(settingsPath);
    const double w = numbers::leadingNumber(f.read(u"Window", u"Width", u"", PositionBufferSize));
    const double h = numbers::leadingNumber(f.read(u"Window", u"Height", u"", PositionBufferSize));
    return w > 0 && h > 0 ? QSizeF(w, h) : QSizeF();
}

WriteStatus saveWindowSize(const QString& settingsPath, QSizeF twips)
{
    ProfileFile f = ProfileFile::load(settingsPath);
    WriteStatus st = f.set(u"Window", u"Width", numbers::formatDecimal(twips.width()));
    if (st == WriteStatus::Ok)
        st = f.set(u"Window", u"Height", numbers::formatDecimal(twips.height()));
    return st == WriteStatus::Ok ? f.save(settingsPath) : st;
}

} // namespace kovra
