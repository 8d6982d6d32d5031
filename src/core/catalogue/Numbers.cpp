#include "Numbers.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace kovra::numbers {
namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

} // namespace

double roundHalfEven(double v)
{
    return std::nearbyint(v); // the default floating-point environment rounds to nearest even
}

double leadingNumber(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text = text.first(nul);
    text = trimBlanks(text);
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype numberStart = i;
    bool dot = false;
    bool digits = false;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits = true;
        } else if (c == u'.' && !dot) {
            dot = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits || i == numberStart)
        return 0.0;
    bool ok = false;
    const double v = text.first(i).toString().toDouble(&ok);
    return ok ? v : 0.0;
}

std::optional<qint16> toInt16(QStringView text)
{
    text = trimBlanks(text);
    if (text.isEmpty())
        return std::nullopt;
    // Only plain decimal text: sign, digits, one point, optional exponent.
    qsizetype i = 0;
    if (text[i] == u'+' || text[i] == u'-')
        ++i;
    bool digits = false;
    bool dot = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9')
            digits = true;
        else if (c == u'.' && !dot)
            dot = true;
        else
            break;
    }
    if (!digits)
        return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype expDigits = j;
        while (j < text.size() && text[j] >= u'0' && text[j] <= u'9')
            ++j;
        if (j == expDigits)
            return std::nullopt;
        i = j;
    }
    if (i != text.size())
        return std::nullopt;
    bool ok = false;
    const double v = text.toString().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    const double r = roundHalfEven(v);
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(r);
}

QString formatSingle(float value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // Round to 7 significant digits first; only then write very large or tiny values out in full.
    QString s = QString::number(double(value), 'g', 7);
    if (s.contains(u'e'))
        s = QString::number(s.toDouble(), 'f', QLocale::FloatingPointShortest);
    if (s == u"-0")
        s = QStringLiteral("0");
    return s;
}

QString formatDecimal(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // The shortest text that reads back as the same value, never with an exponent.
    QString s = QString::number(value, 'f', QLocale::FloatingPointShortest);
    if (s == u"-0")
        s = QStringLiteral("0");
    return s;
}

} // namespace kovra::numbers
