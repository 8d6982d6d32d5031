// Built only from ctest, with every header of src/core included (core_headers.h, generated) and only the
// core libraries' link interface. With <QWidget> it must fail: the core reaches QtCore and QtGui alone.
// Its control build leaves that include out and must succeed, so the failure is the widget header's.
#ifndef KOVRA_CONTROL_BUILD
#include <QWidget>
#endif
#include "core_headers.h"

int main()
{
    return kovra::foldName("A") == "a" ? 0 : 1;
}
