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

ZoomMode readZoomMode(const QString& settingsPath)
{
    return ProfileFile::load(settingsPath).read(u"Window", u"Zoom", u"", PositionBufferSize) == u"Fit"
               ? ZoomMode::Fit
               : ZoomMode::Actual;
}

WriteStatus saveZoomMode(const QString& settingsPath, ZoomMode mode)
{
    // Written while the program runs, not only at its end: another program may write the file meanwhile.
    const WriteLock lock(settingsPath);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(settingsPath);
    const WriteStatus st = f.set(u"Window", u"Zoom", mode == ZoomMode::Fit ? u"Fit" : u"100");
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

namespace {

qint64 overlapArea(const QRect& a, const QRect& b)
{
    const QRect i = a.intersected(b);
    return i.isEmpty() ? 0 : qint64(i.width()) * i.height();
}

// The frame's top-left corner moved no more than needed for all of it to lie in available (its left
// and top edges first when it is larger).
QPoint keptOn(QPoint at, QSize size, const QRect& available)
{
    return QPoint(std::max(std::min(at.x(), available.right() + 1 - size.width()), available.left()),
                  std::max(std::min(at.y(), available.bottom() + 1 - size.height()), available.top()));
}

} // namespace

ClearPlace placeClearOf(const QRect& frame, const QRect& avoid, const QRect& available, int gap)
{
    const QSize size = frame.size();
    const QPoint here = keptOn(frame.topLeft(), size, available);
    if (avoid.isEmpty())
        return {here, 0};
    // Beside avoid on one side, moved along that side no further than the screen needs.
    const QPoint sides[] = {
        {avoid.right() + 1 + gap, here.y()},
        {avoid.left() - gap - size.width(), here.y()},
        {here.x(), avoid.bottom() + 1 + gap},
        {here.x(), avoid.top() - gap - size.height()},
    };
    ClearPlace best{here, overlapArea(QRect(here, size), avoid)};
    if (best.covered == 0)
        return best;
    qint64 bestDistance = -1;
    for (const QPoint& side : sides) {
        const QRect r(keptOn(side, size, available), size);
        if (!available.contains(r))
            continue; // a screen smaller than the window: only the present place
        const qint64 covered = overlapArea(r, avoid);
        const qint64 dx = r.left() - frame.left();
        const qint64 dy = r.top() - frame.top();
        const qint64 distance = dx * dx + dy * dy;
        const bool better = covered < best.covered || (covered == 0 && best.covered == 0 && distance < bestDistance);
        if (better) {
            best = {r.topLeft(), covered};
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace kovra
