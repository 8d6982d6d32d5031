#pragma once
// What the end-to-end tests ask of the X server and its window manager, through xdotool, xprop and xwininfo.

#include <QMargins>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

namespace kovra::e2e {

// Standard output of a tool, trimmed; empty when it failed to finish.
inline QString run(const QString& program, const QStringList& args, int timeoutMs = 10000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

inline QString xdotool(const QStringList& args)
{
    return run(QStringLiteral("xdotool"), args);
}

// One property as xprop prints it ("NAME(TYPE) = value"); of the root window when id is empty.
inline QString xprop(const QString& id, const char* property)
{
    QStringList args = id.isEmpty() ? QStringList{QStringLiteral("-root")} : QStringList{QStringLiteral("-id"), id};
    return run(QStringLiteral("xprop"), args << QString::fromLatin1(property));
}

// Window ids in what xprop prints ("NAME(WINDOW): window id # 0x200006, 0x200010"), as decimal numbers like xdotool's.
inline QStringList windowIds(const QString& value)
{
    QStringList ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (const QRegularExpressionMatch& m : hex.globalMatch(value))
        ids << QString::number(m.captured().toULongLong(nullptr, 16));
    return ids;
}

// The first visible window whose name matches exactly, waiting for it to appear (up to 30 s on a busy machine).
inline QString findWindow(const QString& name)
{
    for (int i = 0; i < 300; ++i) {
        const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--name"), QLatin1Char('^') + name + QLatin1Char('$')});
        if (!ids.isEmpty())
            return ids.section(QLatin1Char('\n'), 0, 0);
        QTest::qWait(100);
    }
    return QString();
}

// The window's outer frame on the screen: the client area grown by the frame the window manager reports
// (no window manager: no frame).
inline QRect frameRect(const QString& id)
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    auto value = [&](const char* label) {
        const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    const QStringList extents = xprop(id, "_NET_FRAME_EXTENTS").section(QLatin1Char('='), 1).split(QLatin1Char(','));
    auto extent = [&](int i) { return extents.size() == 4 ? extents[i].trimmed().toInt() : 0; };
    const QRect client(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height"));
    return client.marginsAdded(QMargins(extent(0), extent(2), extent(1), extent(3)));
}

inline QPoint framePosition(const QString& id)
{
    return frameRect(id).topLeft();
}

} // namespace kovra::e2e
