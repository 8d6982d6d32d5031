#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace kovra {

class FileOps;
class FileReplacement;

// Outcome of a profile write. Callers that follow the old silent behaviour may ignore it.
enum class WriteStatus {
    Ok,
    InvalidInput, // CR, LF or NUL, an empty or malformed name: the file would break
    Unencodable,  // text that code page 932 cannot hold
    ReadOnly,     // the file's read-only bit is set
    Unreadable,   // the existing file could not be read, so it is not replaced
    Failed,       // the disk refused the write; the old file is whole
};

// One INI file in code page 932, parsed once; answers any number of reads and takes edits in memory.
// Reads follow the Windows profile functions: names match without regard to ASCII case, blanks around
// names and values are trimmed, one outer pair of equal quotes is removed, ';' starts a comment line,
// a line without '=' is no key, the first section and the first key of a name win. Edits splice raw
// bytes so that every other byte of the file stays as it was.
class ProfileFile
{
public:
    // TooLarge: more than MaxProfileFileSize bytes, not read; it reads as empty and every write to it fails.
    enum class Status { Missing, Loaded, Unreadable, TooLarge };

    ProfileFile() = default;
    explicit ProfileFile(QByteArray bytes);

    // One read of the disk through FileOps::current(), or through ops. A missing or unreadable file reads
    // as empty.
    static ProfileFile load(const QString& path);
    static ProfileFile load(const QString& path, FileOps& ops);

    Status status() const { return m_status; }
    // Begins with a UTF-16 byte-order mark: edits are refused (Unreadable), reads go on as for any bytes.
    bool isUtf16() const;
    const QByteArray& bytes() const { return m_bytes; }

    // The read of the platform call with a buffer of bufferSize bytes: at most bufferSize - 1 bytes,
    // never cut inside a double-byte character; the default (trailing blanks removed) when the
    // section or key is missing.
    QByteArray readBytes(QStringView section, QStringView key, QStringView defaultValue, int bufferSize) const;
    QString read(QStringView section, QStringView key, QStringView defaultValue, int bufferSize) const;

    // The whole stored value, nullopt when the section or key is missing.
    std::optional<QByteArray> rawValue(QStringView section, QStringView key) const;
    std::optional<QString> value(QStringView section, QStringView key) const;
    bool hasSection(QStringView section) const;
    // The key names of the first section of the name, as stored and in file order (duplicates too).
    QList<QByteArray> keyNames(QStringView section) const;

    // The stored value by names already in the code page (no outer blanks), without any copy: for
    // readers of many keys, such as the search. Names compare without regard to ASCII case.
    std::optional<QByteArrayView> find(QByteArrayView section, QByteArrayView key) const;

    // Edits in memory; nothing reaches the disk until save().
    WriteStatus set(QStringView section, QStringView key, QStringView value);
    // As set, with the value's bytes stored exactly as given (any byte but CR and LF).
    WriteStatus setBytes(QStringView section, QStringView key, QByteArrayView value);
    WriteStatus removeSection(QStringView section);

    // Replaces the file at path in one atomic step. Refused for a file that could not be read.
    WriteStatus save(const QString& path) const;
    // The checks of save, then the new content written aside into replacement, to be committed with
    // other files (all or nothing).
    WriteStatus stage(const QString& path, FileReplacement& replacement) const;

private:
    struct Entry
    {
        qsizetype lineStart = 0; // first byte of the line
        qsizetype lineEnd = 0;   // end of the line's content (before its terminator)
        qsizetype nextLine = 0;  // first byte after the terminator
        qsizetype nameStart = 0, nameLength = 0;
        qsizetype valueStart = 0, valueLength = 0;
    };
    struct Section
    {
        Entry header;
        QList<Entry> keys;                 // key lines in file order
        QHash<QByteArray, qsizetype> find; // folded key name -> first index, only for long sections
        qsizetype end = 0;                 // first byte after the section's last line
    };

    void parse();
    // Ok when edits may go on, else the status that refuses them.
    WriteStatus editRefusal() const;
    // Edits re-parse from the first changed line on: forgetFrom before the bytes change, parseFrom after.
    void forgetFrom(qsizetype lineStart);
    void parseFrom(qsizetype lineStart);
    QByteArrayView nameOf(const Entry& e) const
    {
        return QByteArrayView(m_bytes.constData() + e.nameStart, e.nameLength);
    }
    const Section* findSection(QByteArrayView name) const;
    qsizetype keyIndex(const Section& section, QByteArrayView name) const; // -1 when missing
    std::optional<QByteArrayView> lookup(QStringView section, QStringView key) const;

    QByteArray m_bytes;
    QList<Section> m_sections;
    QHash<QByteArray, qsizetype> m_sectionIndex; // folded name -> first section, only for many sections
    Status m_status = Status::Missing;
};

// Single-key calls with the platform's signature, each one read or one atomic write of the disk; a write
// holds the folder's WriteLock from its read to its replacement, so concurrent writers keep each other's keys.
QString getProfileString(QStringView section, QStringView key, QStringView defaultValue, int bufferSize,
                         const QString& path);
WriteStatus writeProfileString(QStringView section, QStringView key, QStringView value, const QString& path);
WriteStatus removeProfileSection(QStringView section, const QString& path);

// Section and key names compare without regard to ASCII case; double-byte characters stay as they are.
QByteArray foldName(QByteArrayView name);

} // namespace kovra
