#include "Numbers.h"

#include <QTest>

using namespace kovra;

class tst_Numbers : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << QStringLiteral("4500") << 4500.0;
        QTest::newRow("blanks around") << QStringLiteral("  4500  ") << 4500.0;
        QTest::newRow("tab before") << QStringLiteral("\t12") << 12.0;
        QTest::newRow("letters after") << QStringLiteral("12abc") << 12.0;
        QTest::newRow("letters only") << QStringLiteral("abc") << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("negative") << QStringLiteral("-150") << -150.0;
        QTest::newRow("plus") << QStringLiteral("+7") << 7.0;
        QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
        QTest::newRow("fraction") << QStringLiteral("12.75px") << 12.75;
        QTest::newRow("one point only") << QStringLiteral("1.2.3") << 1.2;
        QTest::newRow("point first") << QStringLiteral("-.5") << -0.5;
        QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
        QTest::newRow("no exponent") << QStringLiteral("1e3") << 1.0;
        QTest::newRow("blank inside") << QStringLiteral("1 2") << 1.0;
        QTest::newRow("cut at NUL") << QString(QStringLiteral("45") + QChar(u'\0') + QStringLiteral("67")) << 45.0;
        QTest::newRow("full-width digits are no digits") << QStringLiteral("１２") << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(numbers::leadingNumber(text), expected);
    }

    void toInt16_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -99999: cannot be converted
        const int none = -99999;
        QTest::newRow("plain") << QStringLiteral("150") << 150;
        QTest::newRow("blanks") << QStringLiteral(" 35 ") << 35;
        QTest::newRow("negative") << QStringLiteral("-20") << -20;
        QTest::newRow("12.5 to even") << QStringLiteral("12.5") << 12;
        QTest::newRow("13.5 to even") << QStringLiteral("13.5") << 14;
        QTest::newRow("-12.5 to even") << QStringLiteral("-12.5") << -12;
        QTest::newRow("187.5 to even") << QStringLiteral("187.5") << 188;
        QTest::newRow("12.51 up") << QStringLiteral("12.51") << 13;
        QTest::newRow("point at end") << QStringLiteral("7.") << 7;
        QTest::newRow("point first") << QStringLiteral(".5") << 0;
        QTest::newRow("exponent") << QStringLiteral("1.5e2") << 150;
        QTest::newRow("upper limit") << QStringLiteral("32767") << 32767;
        QTest::newRow("lower limit") << QStringLiteral("-32768") << -32768;
        QTest::newRow("half below limit rounds to even in range") << QStringLiteral("-32768.5") << -32768;
        QTest::newRow("half above limit rounds out of range") << QStringLiteral("32767.5") << none;
        QTest::newRow("too large") << QStringLiteral("32768") << none;
        QTest::newRow("too small") << QStringLiteral("-32769") << none;
        QTest::newRow("huge") << QStringLiteral("1e400") << none;
        QTest::newRow("empty") << QString() << none;
        QTest::newRow("blanks only") << QStringLiteral("   ") << none;
        QTest::newRow("letters") << QStringLiteral("abc") << none;
        QTest::newRow("letters after") << QStringLiteral("12abc") << none;
        QTest::newRow("sign alone") << QStringLiteral("-") << none;
        QTest::newRow("two points") << QStringLiteral("1.2.3") << none;
        QTest::newRow("broken exponent") << QStringLiteral("1e") << none;
        QTest::newRow("nan") << QStringLiteral("nan") << none;
        QTest::newRow("inf") << QStringLiteral("inf") << none;
        QTest::newRow("blank inside") << QStringLiteral("1 2") << none;
    }
    void toInt16()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const auto v = numbers::toInt16(text);
        if (expected == -99999) {
            QVERIFY2(!v, qPrintable(QString::number(v.value_or(0))));
        } else {
            QVERIFY(v);
            QCOMPARE(int(*v), expected);
        }
    }

    void formatSingle_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 150.0f << QStringLiteral("150");
        QTest::newRow("half") << 187.5f << QStringLiteral("187.5");
        QTest::newRow("negative") << -20.0f << QStringLiteral("-20");
        QTest::newRow("zero") << 0.0f << QStringLiteral("0");
        QTest::newRow("negative zero") << -0.0f << QStringLiteral("0");
        QTest::newRow("single precision noise dropped") << 0.1f << QStringLiteral("0.1");
        QTest::newRow("seven digits") << 1234.567f << QStringLiteral("1234.567");
        QTest::newRow("rounded to seven digits") << 1234.5678f << QStringLiteral("1234.568");
        QTest::newRow("large, no exponent") << 12345678.0f << QStringLiteral("12345680");
        QTest::newRow("small, no exponent") << 0.000015f << QStringLiteral("0.000015");
    }
    void formatSingle()
    {
        QFETCH(float, value);
        QFETCH(QString, expected);
        QCOMPARE(numbers::formatSingle(value), expected);
    }

    void formatDecimal_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 4500.0 << QStringLiteral("4500");
        QTest::newRow("negative") << -150.0 << QStringLiteral("-150");
        QTest::newRow("fraction kept") << 12.25 << QStringLiteral("12.25");
        QTest::newRow("long fraction kept") << 0.1234567 << QStringLiteral("0.1234567");
        QTest::newRow("large") << 1e20 << QStringLiteral("100000000000000000000");
        QTest::newRow("negative zero") << -0.0 << QStringLiteral("0");
    }
    void formatDecimal()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(numbers::formatDecimal(value), expected);
    }

    void writtenGeometryReadsBack()
    {
        for (float v : {150.0f, -20.0f, 187.5f, 12.5f, -32768.0f, 32767.0f})
            QCOMPARE(numbers::toInt16(numbers::formatSingle(v)).value_or(-1), qint16(numbers::roundHalfEven(v)));
    }
};

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
