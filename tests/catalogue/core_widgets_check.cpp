// Built only from ctest. With the include below it must fail: the catalogue core's link interface
// reaches QtCore alone. Its control build leaves the include out and must succeed.
#ifndef KOVRA_CONTROL_BUILD
#include <QWidget>
#endif
#include "ProfileFile.h"

int main()
{
    return kovra::foldName("A") == "a" ? 0 : 1;
}
