#pragma once

#include <QString>

namespace kovra::bench {

// Writes a synthetic catalogue for tests and benchmarks: `images` image folders under root, each with
// IMAGE.INI, a small picture file and all 30 area files in code page 932 with CR LF, laid out as the
// program's own writers leave them (section Area, then ItemCount and Items). Some areas are in use with
// items, some hold no items, some were deleted and keep their items; item names mix Japanese and ASCII in
// full and half width, hiragana and katakana. The same seed always gives the same bytes. Also writes a
// `manual` folder, as a program folder has one. Returns false with a message when a write fails.
bool generateCatalogue(const QString& root, int images, quint64 seed, QString* error = nullptr);

} // namespace kovra::bench
