#pragma once

#include "SearchScan.h"

namespace kovra::bench {

// The search as the original reads it: every key fetched by its own single-key call, each one a read
// and parse of the whole file, items matched as text. Slow on purpose; the yardstick that the real
// scan must equal in results and beat in time.
QList<SearchRow> referenceSearch(const QStringList& folders, QStringView searchText);

} // namespace kovra::bench
