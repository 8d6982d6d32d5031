#include "Ui.h"

#include "Numbers.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QToolButton>
#include <QWidget>
#include <algorithm>

namespace kovra::ui {

double twipsPerPixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

int twips(double value, double tpp)
{
    // A hand-edited settings file may hold any number: keep the result a valid int.
    constexpr double limit = 1 << 24;
    const double pixels = numbers::roundHalfEven(value / tpp);
    if (!(pixels == pixels))
        return 0;
    return int(std::clamp(pixels, -limit, limit));
}

QFont japaneseFont(const QString& family, double pointSize)
{
    static const QStringList fallbacks = {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                                          QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic"),
                                          QStringLiteral("TakaoGothic")};
    const QStringList installed = QFontDatabase::families();
    QFont font;
    QStringList families;
    if (installed.contains(family))
        families << family;
    // Proportional request → proportional stand-in first.
    const bool proportional = family.contains(QStringLiteral("Ｐ"));
    if (proportional && installed.contains(QStringLiteral("IPAPGothic")))
        families << QStringLiteral("IPAPGothic");
    for (const QString& f : fallbacks)
        if (installed.contains(f) && !families.contains(f))
            families << f;
    if (families.isEmpty())
        families << family;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    return font;
}

QFont defaultFont()
{
    return japaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
}

QToolButton* pictureButton(QWidget* parent, const char* objectName, const char* picture, const QString& text,
                           const QString& toolTip, const QRect& geometry)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setIcon(QIcon(icon(picture)));
    b->setIconSize(QSize(32, 32));
    b->setText(text);
    b->setToolTip(toolTip);
    b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    b->setGeometry(geometry);
    return b;
}

void placeOnScreen(QWidget* window, int topDivisor)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize frame = window->frameGeometry().size().expandedTo(window->size());
    window->move(area.left() + (area.width() - frame.width()) / 2,
                 area.top() + (area.height() - frame.height()) / topDivisor);
}

void setOwner(QWidget* window, QWidget* owner)
{
    const Qt::WindowFlags flags = window->windowFlags();
    window->setParent(owner, flags | Qt::Window);
}

} // namespace kovra::ui
