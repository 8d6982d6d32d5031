#pragma once

#include <QString>
#include <functional>

// The type check of a dropped file: GIF files are refused, by name first and then by content.
namespace kovra::registration {

// True when the file starts with the three bytes "GIF". Reads those three bytes and nothing more;
// a shorter file counts its missing bytes as zero. A file that cannot be opened or read, or is no regular
// file (a FIFO, a device), is not GIF.
bool GifCkF(const QString& path);

enum class TypeCheck { Accepted, RefusedByExtension, RefusedByContent };

// Extension test on the last three characters of the path (no dot needed, any case), which never opens
// the file; then the content test through gifCheck.
TypeCheck checkImageType(const QString& path, const std::function<bool(const QString&)>& gifCheck = GifCkF);

// The two refusal texts.
QString extensionRefusedText();
QString contentRefusedText();

} // namespace kovra::registration
