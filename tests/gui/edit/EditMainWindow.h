#pragma once

// The main window on a program folder with the editing windows installed, as the program wires them, and
// what the editing tests look for in widgets.

#include "EditWindows.h"
#include "FileOps.h"
#include "FixtureCatalogue.h"
#include "frmMain.h"

#include <QStringList>
#include <QWidget>

#include <memory>

namespace fixture {

// Object names of the widgets that Tab visits, starting at first, once round.
inline QStringList tabChain(QWidget* first)
{
    QStringList names;
    QWidget* f = first;
    do {
        names << f->objectName();
        do
            f = f->nextInFocusChain();
        while (!(f->focusPolicy() & Qt::TabFocus) || f->isHidden());
    } while (f != first && names.size() < 20);
    return names;
}

// The main window on the builder's program folder, shown, with the editing windows installed.
inline std::unique_ptr<frmMain> openMain(const kovra::test::CatalogueBuilder& catalogue)
{
    auto main = std::make_unique<frmMain>(catalogue.root());
    kovra::edit::installWindows(*main);
    main->show();
    return main;
}

// A disk that refuses every write (CI runs as root, so permission bits would not stop it).
class FullDisk : public kovra::FileOps
{
public:
    bool writeFile(const QString&, const QByteArray&) override { return false; }
};

} // namespace fixture
