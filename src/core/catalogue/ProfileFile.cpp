#include "ProfileFile.h"

#include "CodePage.h"
#include "FileOps.h"

#include <algorithm>

namespace kovra {
namespace {

using codepage::isLeadByte;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Trims blanks inside [start, start + length).
void trim(const QByteArray& b, qsizetype& start, qsizetype& length)
{
    while (length > 0 && isBlank(b[start])) {
        ++start;
        --length;
    }
    while (length > 0 && isBlank(b[start + length - 1]))
        --length;
}

// Position of the first c at or after from, before end, stepping over double-byte characters.
qsizetype findByte(const QByteArray& b, qsizetype from, qsizetype end, char c)
{
    for (qsizetype i = from; i < end; ++i) {
        const auto u = static_cast<unsigned char>(b[i]);
        if (b[i] == c)
            return i;
        if (isLeadByte(u) && i + 1 < end)
            ++i;
    }
    return -1;
}

std::optional<QByteArray> encodeName(QStringView name)
{
    auto bytes = codepage::encode(name);
    if (!bytes)
        return std::nullopt;
    qsizetype start = 0;
    qsizetype length = bytes->size();
    trim(*bytes, start, length);
    return bytes->mid(start, length);
}

bool hasLineBreakOrNul(QStringView s)
{
    for (QChar c : s)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    return false;
}

// Lookups walk the lines of a section; only long sections and files with many sections get an index,
// because building one costs more than walking the few lines an area file has.
constexpr qsizetype IndexThreshold = 24;

// The first entry of a name wins: later ones of the same name leave the index alone.
void insertFirst(QHash<QByteArray, qsizetype>& index, QByteArray folded, qsizetype position)
{
    if (!index.contains(folded))
        index.insert(std::move(folded), position);
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Equal names without regard to ASCII case; the bytes of a double-byte character compare exactly.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const qsizetype n = a.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (isLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < n) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray foldName(QByteArrayView name)
{
    QByteArray out(name.data(), name.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto u = static_cast<unsigned char>(out[i]);
        if (isLeadByte(u)) {
            ++i;
        } else if (u >= 'A' && u <= 'Z') {
            out[i] = char(u + ('a' - 'A'));
        }
    }
    return out;
}

ProfileFile::ProfileFile(QByteArray bytes) : m_bytes(std::move(bytes)), m_status(Status::Loaded)
{
    parse();
}

ProfileFile ProfileFile::load(const QString& path)
{
    return load(path, FileOps::current());
}

ProfileFile ProfileFile::load(const QString& path, FileOps& ops)
{
    ProfileFile f;
    QByteArray data;
    switch (ops.readFile(path, data)) {
    case FileOps::ReadStatus::Ok:
        f.m_bytes = std::move(data);
        f.m_status = Status::Loaded;
        f.parse();
        break;
    case FileOps::ReadStatus::Missing:
        f.m_status = Status::Missing;
        break;
    case FileOps::ReadStatus::Failed:
        f.m_status = Status::Unreadable;
        break;
    case FileOps::ReadStatus::TooLarge:
        f.m_status = Status::TooLarge;
        break;
    }
    return f;
}

void ProfileFile::parse()
{
    m_sections.clear();
    m_sectionIndex.clear();
    parseFrom(0);
}

void ProfileFile::forgetFrom(qsizetype from)
{
    // Called before an edit at the line that starts at from, while the names still stand in m_bytes.
    // What stays is a prefix of the lines, so the first entry of every name that stays stays too, and the
    // indexes remain complete for what is left.
    while (!m_sections.isEmpty() && m_sections.last().header.lineStart >= from) {
        if (!m_sectionIndex.isEmpty()) {
            const auto it = m_sectionIndex.constFind(foldName(nameOf(m_sections.last().header)));
            if (it != m_sectionIndex.cend() && *it == m_sections.size() - 1)
                m_sectionIndex.erase(it);
        }
        m_sections.removeLast();
    }
    if (m_sections.isEmpty())
        return;
    Section& last = m_sections.last();
    while (!last.keys.isEmpty() && last.keys.last().lineStart >= from) {
        if (!last.find.isEmpty()) {
            const auto it = last.find.constFind(foldName(nameOf(last.keys.last())));
            if (it != last.find.cend() && *it == last.keys.size() - 1)
                last.find.erase(it);
        }
        last.keys.removeLast();
    }
    last.end = from;
}

void ProfileFile::parseFrom(qsizetype from)
{
    // Parses the lines from the line start from on, after forgetFrom(from): an edit costs the bytes after
    // it, not the whole file again (saving n items re-parsed the file n times).
    const qsizetype firstTouched = std::max<qsizetype>(0, m_sections.size() - 1);
    const QByteArray& b = m_bytes;
    const qsizetype n = b.size();
    qsizetype pos = from;
    Section* current = m_sections.isEmpty() ? nullptr : &m_sections.last();
    while (pos < n) {
        // Find the end of the line: CR LF, LF or CR alone. Bytes 0x0A and 0x0D are never trail bytes.
        qsizetype end = pos;
        while (end < n && b[end] != '\n' && b[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < n) {
            if (b[next] == '\r' && next + 1 < n && b[next + 1] == '\n')
                next += 2;
            else
                next += 1;
        }
        Entry e;
        e.lineStart = pos;
        e.lineEnd = end;
        e.nextLine = next;
        qsizetype first = pos;
        while (first < end && isBlank(b[first]))
            ++first;
        if (first < end && b[first] == '[') {
            qsizetype close = findByte(b, first + 1, end, ']');
            e.nameStart = first + 1;
            e.nameLength = (close < 0 ? end : close) - e.nameStart;
            trim(b, e.nameStart, e.nameLength);
            if (current)
                current->end = pos;
            m_sections.append(Section{});
            current = &m_sections.last();
            current->header = e;
            if (!m_sectionIndex.isEmpty())
                insertFirst(m_sectionIndex, foldName(nameOf(e)), m_sections.size() - 1);
        } else if (const qsizetype eq = findByte(b, first, end, '=');
                   current && first < end && b[first] != ';' && eq >= 0) {
            // A line without '=' is no key, as Windows reads it: a read of its text gives the default.
            e.nameStart = first;
            e.nameLength = eq - first;
            trim(b, e.nameStart, e.nameLength);
            e.valueStart = eq + 1;
            e.valueLength = end - e.valueStart;
            trim(b, e.valueStart, e.valueLength);
            if (e.valueLength >= 2) {
                const char q = b[e.valueStart];
                if ((q == '"' || q == '\'') && b[e.valueStart + e.valueLength - 1] == q) {
                    ++e.valueStart;
                    e.valueLength -= 2;
                }
            }
            current->keys.append(e);
            if (!current->find.isEmpty())
                insertFirst(current->find, foldName(nameOf(e)), current->keys.size() - 1);
        }
        if (current)
            current->end = next;
        pos = next;
    }
    // The first section and the first key of a name win. Indexes only where they pay; once there, they
    // are kept up to date above.
    if (m_sections.size() > IndexThreshold && m_sectionIndex.isEmpty()) {
        for (qsizetype i = 0; i < m_sections.size(); ++i)
            insertFirst(m_sectionIndex, foldName(nameOf(m_sections[i].header)), i);
    }
    for (qsizetype s = firstTouched; s < m_sections.size(); ++s) {
        Section& section = m_sections[s];
        if (section.keys.size() > IndexThreshold && section.find.isEmpty()) {
            for (qsizetype i = 0; i < section.keys.size(); ++i)
                insertFirst(section.find, foldName(nameOf(section.keys[i])), i);
        }
    }
}

qsizetype ProfileFile::keyIndex(const Section& section, QByteArrayView name) const
{
    if (!section.find.isEmpty()) {
        const auto it = section.find.constFind(foldName(name));
        return it == section.find.cend() ? -1 : *it;
    }
    for (qsizetype i = 0; i < section.keys.size(); ++i)
        if (sameName(nameOf(section.keys[i]), name))
            return i;
    return -1;
}

const ProfileFile::Section* ProfileFile::findSection(QByteArrayView name) const
{
    if (!m_sectionIndex.isEmpty()) {
        const auto it = m_sectionIndex.constFind(foldName(name));
        return it == m_sectionIndex.cend() ? nullptr : &m_sections[*it];
    }
    for (const Section& section : m_sections)
        if (sameName(nameOf(section.header), name))
            return &section;
    return nullptr;
}

std::optional<QByteArrayView> ProfileFile::find(QByteArrayView section, QByteArrayView key) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const qsizetype i = keyIndex(*s, key);
    if (i < 0)
        return std::nullopt;
    const Entry& e = s->keys[i];
    return QByteArrayView(m_bytes.constData() + e.valueStart, e.valueLength);
}

std::optional<QByteArrayView> ProfileFile::lookup(QStringView section, QStringView key) const
{
    const auto sectionBytes = encodeName(section);
    const auto keyBytes = encodeName(key);
    if (!sectionBytes || !keyBytes)
        return std::nullopt;
    return find(*sectionBytes, *keyBytes);
}

QByteArray ProfileFile::readBytes(QStringView section, QStringView key, QStringView defaultValue, int bufferSize) const
{
    QByteArray value;
    if (const auto found = lookup(section, key)) {
        value = found->toByteArray();
    } else {
        value = codepage::encode(defaultValue).value_or(QByteArray());
        while (!value.isEmpty() && value.endsWith(' '))
            value.chop(1);
    }
    const qsizetype room = bufferSize > 0 ? bufferSize - 1 : 0;
    value.truncate(codepage::safeCut(value, room));
    return value;
}

QString ProfileFile::read(QStringView section, QStringView key, QStringView defaultValue, int bufferSize) const
{
    return codepage::decode(readBytes(section, key, defaultValue, bufferSize));
}

std::optional<QByteArray> ProfileFile::rawValue(QStringView section, QStringView key) const
{
    if (const auto found = lookup(section, key))
        return found->toByteArray();
    return std::nullopt;
}

std::optional<QString> ProfileFile::value(QStringView section, QStringView key) const
{
    if (const auto found = lookup(section, key))
        return codepage::decode(*found);
    return std::nullopt;
}

bool ProfileFile::hasSection(QStringView section) const
{
    const auto bytes = encodeName(section);
    return bytes && findSection(*bytes);
}

QList<QByteArray> ProfileFile::keyNames(QStringView section) const
{
    QList<QByteArray> names;
    const auto bytes = encodeName(section);
    if (const Section* s = bytes ? findSection(*bytes) : nullptr) {
        names.reserve(s->keys.size());
        for (const Entry& e : s->keys)
            names.append(nameOf(e).toByteArray());
    }
    return names;
}

bool ProfileFile::isUtf16() const
{
    return m_bytes.startsWith("\xFF\xFE") || m_bytes.startsWith("\xFE\xFF");
}

WriteStatus ProfileFile::set(QStringView section, QStringView key, QStringView value)
{
    if (const WriteStatus refused = editRefusal(); refused != WriteStatus::Ok)
        return refused;
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value))
        return WriteStatus::InvalidInput;
    const auto valueBytes = codepage::encode(value);
    if (!valueBytes)
        return WriteStatus::Unencodable;
    return setBytes(section, key, *valueBytes);
}

WriteStatus ProfileFile::editRefusal() const
{
    // Its bytes were never read: any edit would replace them with almost nothing.
    if (m_status == Status::TooLarge)
        return WriteStatus::Failed;
    // Windows writes Unicode into a file with a UTF-16 byte-order mark; code page 932 bytes appended to
    // one would leave it readable by neither, so it is refused like a file that cannot be read.
    if (m_status == Status::Unreadable || isUtf16())
        return WriteStatus::Unreadable;
    return WriteStatus::Ok;
}

WriteStatus ProfileFile::setBytes(QStringView section, QStringView key, QByteArrayView valueBytes)
{
    if (const WriteStatus refused = editRefusal(); refused != WriteStatus::Ok)
        return refused;
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || valueBytes.contains('\r') || valueBytes.contains('\n'))
        return WriteStatus::InvalidInput;
    const auto sectionBytes = encodeName(section);
    const auto keyBytes = encodeName(key);
    if (!sectionBytes || !keyBytes)
        return WriteStatus::Unencodable;
    if (sectionBytes->isEmpty() || keyBytes->isEmpty() || findByte(*sectionBytes, 0, sectionBytes->size(), ']') >= 0 ||
        findByte(*keyBytes, 0, keyBytes->size(), '=') >= 0 || keyBytes->startsWith(';') || keyBytes->startsWith('['))
        return WriteStatus::InvalidInput;

    const QByteArray crlf("\r\n");
    const Section* s = findSection(*sectionBytes);
    qsizetype changedLine = 0; // the first line whose bytes or terminator change
    if (!s) {
        changedLine = m_bytes.size();
        while (changedLine > 0 && m_bytes[changedLine - 1] != '\n' && m_bytes[changedLine - 1] != '\r')
            --changedLine;
        QByteArray add;
        if (!m_bytes.isEmpty() && !m_bytes.endsWith('\n') && !m_bytes.endsWith('\r'))
            add += crlf;
        add += '[' + *sectionBytes + ']' + crlf + *keyBytes + '=';
        add.append(valueBytes).append(crlf);
        forgetFrom(changedLine);
        m_bytes += add;
    } else if (const qsizetype k = keyIndex(*s, *keyBytes); k >= 0) {
        const Entry e = s->keys[k];
        // The line keeps its key spelling and its terminator; blanks and quotes around the old value go.
        QByteArray line = m_bytes.mid(e.nameStart, e.nameLength) + '=';
        line.append(valueBytes);
        changedLine = e.lineStart;
        forgetFrom(changedLine);
        m_bytes.replace(e.lineStart, e.lineEnd - e.lineStart, line);
    } else {
        const Entry after = s->keys.isEmpty() ? s->header : s->keys.last();
        QByteArray add = *keyBytes + '=';
        add.append(valueBytes).append(crlf);
        if (after.nextLine == after.lineEnd) // the line ends the file without a terminator
            add.prepend(crlf);
        changedLine = after.lineStart;
        forgetFrom(changedLine);
        m_bytes.insert(after.nextLine, add);
    }
    m_status = Status::Loaded;
    parseFrom(changedLine);
    return WriteStatus::Ok;
}

WriteStatus ProfileFile::removeSection(QStringView section)
{
    if (const WriteStatus refused = editRefusal(); refused != WriteStatus::Ok)
        return refused;
    if (hasLineBreakOrNul(section))
        return WriteStatus::InvalidInput;
    const auto sectionBytes = encodeName(section);
    if (!sectionBytes)
        return WriteStatus::Unencodable;
    // A name that no header can hold is refused, as set() refuses it.
    if (sectionBytes->isEmpty() || findByte(*sectionBytes, 0, sectionBytes->size(), ']') >= 0)
        return WriteStatus::InvalidInput;
    const Section* s = findSection(*sectionBytes);
    if (!s)
        return WriteStatus::Ok;
    const qsizetype start = s->header.lineStart;
    const qsizetype end = s->end;
    forgetFrom(start);
    m_bytes.remove(start, end - start);
    parseFrom(start);
    return WriteStatus::Ok;
}

WriteStatus ProfileFile::save(const QString& path) const
{
    FileReplacement replacement;
    const WriteStatus st = stage(path, replacement);
    if (st != WriteStatus::Ok)
        return st;
    return replacement.commit() ? WriteStatus::Ok : WriteStatus::Failed;
}

WriteStatus ProfileFile::stage(const QString& path, FileReplacement& replacement) const
{
    if (m_status == Status::TooLarge)
        return WriteStatus::Failed;
    if (m_status == Status::Unreadable)
        return WriteStatus::Unreadable;
    if (FileOps::current().isReadOnly(path))
        return WriteStatus::ReadOnly;
    return replacement.add(path, m_bytes) ? WriteStatus::Ok : WriteStatus::Failed;
}

QString getProfileString(QStringView section, QStringView key, QStringView defaultValue, int bufferSize,
                         const QString& path)
{
    return ProfileFile::load(path).read(section, key, defaultValue, bufferSize);
}

WriteStatus writeProfileString(QStringView section, QStringView key, QStringView value, const QString& path)
{
    const WriteLock lock(path);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(path);
    const WriteStatus st = f.set(section, key, value);
    return st == WriteStatus::Ok ? f.save(path) : st;
}

WriteStatus removeProfileSection(QStringView section, const QString& path)
{
    const WriteLock lock(path);
    if (lock.timedOut())
        return WriteStatus::Failed;
    ProfileFile f = ProfileFile::load(path);
    const QByteArray before = f.bytes();
    const WriteStatus st = f.removeSection(section);
    if (st != WriteStatus::Ok)
        return st;
    // Nothing to remove: the file is not rewritten (nor created).
    return f.bytes() == before ? WriteStatus::Ok : f.save(path);
}

} // namespace kovra
