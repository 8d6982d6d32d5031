#include "WindowPosition.h"

#include "FileOps.h"
#include "Numbers.h"

#include <algorithm>
#include <cmath>

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
    return w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h) ? QSizeF(w, h) : QSizeF();
}

WriteStatus saveWindowSize(const QString& settingsPath, QSizeF twips)
{
    ProfileFile f = ProfileFile::load(settingsPath);
    WriteStatus st = f.set(u"Window", u"Width", numbers::formatDecimal(twips.width()));
    if (st == WriteStatus::Ok)
        st = f.set(u"Window", u"Height", numbers::formatDecimal(twips.height()));
    return st == WriteStatus::Ok ? f.save(settingsPath) : st;
}

bool readWindowMaximized(const QString& settingsPath)
{
    return ProfileFile::load(settingsPath).read(u"Window", u"Maximized", u"", PositionBufferSize) == u"True";
}

WriteStatus saveWindowMaximized(const QString& settingsPath, bool maximized)
{
    ProfileFile f = ProfileFile::load(settingsPath);
    const WriteStatus st = f.set(u"Window", u"Maximized", maximized ? u"True" : u"False");
    return st == WriteStatus::Ok ? f.save(settingsPath) : st;
}

WindowPlacement fitOnScreen(const WindowPlacement& stored, QSize minimum, const QRect& available, const QMargins& frame)
{
    const QSize room = available.size().shrunkBy(frame);
    const QSize size(std::max(std::min(stored.size.width(), room.width()), minimum.width()),
                     std::max(std::min(stored.size.height(), room.height()), minimum.height()));
    // In 64 bits: a hand-edited position may lie near the ends of int. Where the size was cut to the
    // screen the whole frame goes on it; elsewhere the position moves only as far as the title bar needs.
    auto place = [](qint64 at, qint64 first, qint64 extent, qint64 needed) {
        return int(std::max(std::min(at, first + extent - needed), first));
    };
    const int x =
        place(stored.framePos.x(), available.left(), available.width(), size.width() + frame.left() + frame.right());
    const int y = place(stored.framePos.y(), available.top(), available.height(),
                        stored.size.height() > room.height() ? size.height() + frame.top() + frame.bottom()
                                                             : std::max(frame.top(), 1));
    return {QPoint(x, y), size};
}

} // namespace kovra
