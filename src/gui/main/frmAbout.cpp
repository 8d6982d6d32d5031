#include "frmAbout.h"

#include "Ui.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setFont(kovra::ui::defaultFont());
    setModal(false);

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setPixmap(QIcon(QStringLiteral(":/icons/about_logo.svg")).pixmap(QSize(240, 80)));
    logo->setAlignment(Qt::AlignCenter);

    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("Icon"));
    iconLabel->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(32, 32));

    auto* name = new QLabel(QStringLiteral("Kovra"), this);
    name->setObjectName(QStringLiteral("ProductName"));
    name->setFont(kovra::ui::japaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), 14));
    auto* version = new QLabel(QStringLiteral("バージョン ") + QStringLiteral(KOVRA_VERSION), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* purpose = new QLabel(QStringLiteral("しまった物の場所を写真で探すプログラム"), this);
    purpose->setObjectName(QStringLiteral("Purpose"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(purpose);
    auto* row = new QHBoxLayout;
    row->addWidget(iconLabel, 0, Qt::AlignTop);
    row->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(logo);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    kovra::ui::placeOnScreen(this, 2);
}
