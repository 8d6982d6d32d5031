// The number conversions: the settings rule, the 16-bit geometry and count conversion, and the geometry
// and settings writers on arbitrary text and values.

#include "FuzzSupport.h"
#include "Numbers.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const float f = fdp.ConsumeFloatingPoint<float>();
    const double d = fdp.ConsumeFloatingPoint<double>();
    const uint8_t mode = fdp.ConsumeIntegral<uint8_t>();
    const QString text = textFrom(fdp.ConsumeRemainingBytesAsString(), mode);

    // Reading arbitrary text.
    const double lead = numbers::leadingNumber(text);
    check(!std::isnan(lead), "leading number is NaN");
    if (const auto v = numbers::toInt16(text)) {
        bool ok = false;
        const double exact = text.trimmed().toDouble(&ok);
        check(ok && std::fabs(exact - *v) <= 0.5, "16-bit value far from the text", text.toUtf8());
        check(numbers::toInt16(QString::number(*v)) == v, "16-bit value does not read back");
    }

    // Writing a geometry value: plain decimal text that reads back within the writer's precision.
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]+(\\.[0-9]*[1-9])?$"));
    const QString single = numbers::formatSingle(f);
    check(plain.match(single).hasMatch(), "geometry text is not plain decimal", single.toUtf8());
    if (std::isfinite(f)) {
        const double back = single.toDouble();
        check(std::fabs(back - double(f)) <= std::fabs(double(f)) * 1e-6 + 1e-30 || std::fabs(double(f)) < 1e-30,
              "geometry text does not read back", single.toUtf8());
        if (std::fabs(f) <= 32767.0f) {
            const auto r = numbers::toInt16(single);
            check(r.has_value(), "geometry in range does not convert", single.toUtf8());
            check(std::fabs(double(*r) - double(f)) <= 0.51, "converted geometry moved", single.toUtf8());
            if (f == std::trunc(f))
                check(double(*r) == double(f), "whole geometry changed", single.toUtf8());
        }
    }

    // Writing a settings value: it reads back through the settings rule.
    const QString decimal = numbers::formatDecimal(d);
    check(plain.match(decimal).hasMatch() || decimal == u"0", "settings text is not plain decimal", decimal.toUtf8());
    if (std::isfinite(d) && std::fabs(d) < 1e15)
        check(numbers::leadingNumber(decimal) == d, "settings value does not read back", decimal.toUtf8());

    const double r = numbers::roundHalfEven(d);
    if (std::isfinite(d))
        check(std::fabs(r - d) <= 0.5 && r == std::trunc(r), "rounding off");
    return 0;
}
