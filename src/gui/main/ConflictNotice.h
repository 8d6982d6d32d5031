#pragma once

#include "ConflictCopies.h"

#include <QList>
#include <QString>

class QWidget;

namespace kovra {

// The lines shown before the rest is counted as "ほか N 件".
inline constexpr int ConflictNoticeLines = 10;

// The start-up notice about the conflict copies merged: one line per copy that gave the file something or
// was left alone; empty when there is nothing to tell.
QString conflictNoticeText(const QList<ConflictMerge>& merges);
// Shows that notice (information icon, OK) over parent, when there is one.
void tellMergedConflicts(QWidget* parent, const QList<ConflictMerge>& merges);

} // namespace kovra
