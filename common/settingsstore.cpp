// SPDX-License-Identifier: Apache-2.0
#include "common/settingsstore.h"

#include "common/errorlog.h"
#include "common/paths.h"
#include "common/prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>

namespace {

const std::array<QString, 7> kRoots = {
    QStringLiteral("HKEY_CLASSES_ROOT"),     QStringLiteral("HKEY_CURRENT_USER"),
    QStringLiteral("HKEY_LOCAL_MACHINE"),    QStringLiteral("HKEY_USERS"),
    QStringLiteral("HKEY_PERFORMANCE_DATA"), QStringLiteral("HKEY_CURRENT_CONFIG"),
    QStringLiteral("HKEY_DYN_DATA")};

// A writer that died holding the lock is recognised at once by its process id; the age limit
// only covers a lock whose owner cannot be checked (another host sharing the folder).
constexpr int kStaleLockMs = 10000;
constexpr int kLockWaitMs = 20000;

bool isKnownRoot(const QString& root)
{
    return std::find(kRoots.begin(), kRoots.end(), root) != kRoots.end();
}

struct KeyPath
{
    QString root;
    QString sub; // empty for the root key itself
};

// Splits "ROOT\sub\key". Nothing when the path is malformed (reported) or the root unknown.
std::optional<KeyPath> splitKeyPath(const QString& path)
{
    if (!path.startsWith(QLatin1String("HKEY_")) || path.endsWith(QLatin1Char('\\'))) {
        Prompt::message(QStringLiteral("Incorrect Format:\n\n") + path, QString(QLatin1String("")),
                        Prompt::Icon::None);
        return std::nullopt;
    }
    KeyPath k;
    const qsizetype slash = path.indexOf(QLatin1Char('\\'));
    if (slash < 0) {
        k.root = path;
    } else {
        k.root = path.left(slash);
        k.sub = path.mid(slash + 1);
    }
    if (!isKnownRoot(k.root)) {
        return std::nullopt;
    }
    return k;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// ---- the file's model ----------------------------------------------------------------------

struct Line
{
    enum class Kind
    {
        Value,   // "name"="text"
        Foreign, // "name"=something other than quoted text: kept, reads as not set
        Raw      // comment or a line we do not understand: kept as it stands
    };
    Kind kind = Kind::Raw;
    QString name;
    QString value; // the text for Value, the line itself for Foreign and Raw
};

struct Section
{
    QString path; // as first spelt
    KeyPath key;  // root empty when the header does not name one of the seven roots
    QList<Line> lines;
};

struct Document
{
    QList<Line> preamble; // lines before the first section
    QList<Section> sections;

    Section* find(const KeyPath& k)
    {
        for (Section& s : sections) {
            if (s.key.root == k.root && sameName(s.key.sub, k.sub)) {
                return &s;
            }
        }
        return nullptr;
    }

    bool keyExists(const KeyPath& k) const
    {
        if (k.sub.isEmpty()) {
            return true; // the predefined roots always exist
        }
        const QString prefix = k.sub + QLatin1Char('\\');
        for (const Section& s : sections) {
            if (s.key.root == k.root &&
                (sameName(s.key.sub, k.sub) || s.key.sub.startsWith(prefix, Qt::CaseInsensitive))) {
                return true;
            }
        }
        return false;
    }
};

KeyPath keyOfHeader(const QString& header)
{
    const qsizetype slash = header.indexOf(QLatin1Char('\\'));
    KeyPath k;
    k.root = slash < 0 ? header : header.left(slash);
    k.sub = slash < 0 ? QString() : header.mid(slash + 1);
    if (!isKnownRoot(k.root) || header.endsWith(QLatin1Char('\\'))) {
        k.root.clear();
    }
    return k;
}

// Reads a quoted text starting at s[pos] == '"'; on success pos is just past the closing quote.
std::optional<QString> parseQuoted(const QString& s, qsizetype& pos)
{
    QString out;
    qsizetype i = pos + 1;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('"')) {
            pos = i + 1;
            return out;
        }
        if (c == QLatin1Char('\\') && i + 1 < s.size()) {
            const QChar e = s.at(i + 1);
            switch (e.unicode()) {
            case '\\':
            case '"':
                out += e;
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            default:
                // A hand-written "C:\data" keeps its backslash.
                out += c;
                out += e;
                break;
            }
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;
}

QString quoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

Line parseLine(const QString& text)
{
    Line raw;
    raw.kind = Line::Kind::Raw;
    raw.value = text;

    qsizetype pos = 0;
    while (pos < text.size() && text.at(pos).isSpace()) {
        ++pos;
    }
    QString name;
    if (pos < text.size() && text.at(pos) == QLatin1Char('@')) {
        ++pos; // the key's unnamed value
    } else if (pos < text.size() && text.at(pos) == QLatin1Char('"')) {
        const auto n = parseQuoted(text, pos);
        if (!n) {
            return raw;
        }
        name = *n;
    } else {
        return raw;
    }
    while (pos < text.size() && text.at(pos).isSpace()) {
        ++pos;
    }
    if (pos >= text.size() || text.at(pos) != QLatin1Char('=')) {
        return raw;
    }
    ++pos;
    while (pos < text.size() && text.at(pos).isSpace()) {
        ++pos;
    }
    Line line;
    line.name = name;
    if (pos < text.size() && text.at(pos) == QLatin1Char('"')) {
        const auto v = parseQuoted(text, pos);
        if (v && text.mid(pos).trimmed().isEmpty()) {
            line.kind = Line::Kind::Value;
            line.value = *v;
            return line;
        }
    }
    line.kind = Line::Kind::Foreign;
    line.value = text;
    return line;
}

QString decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        // An export saved by a registry editor in UTF-16.
        const QByteArray body = bytes.mid(2);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(body.constData()),
                                  body.size() / 2);
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.mid(3));
    }
    return QString::fromUtf8(bytes);
}

void addLine(QList<Line>& lines, Line line)
{
    if (line.kind != Line::Kind::Raw) {
        for (Line& l : lines) {
            if (l.kind != Line::Kind::Raw && sameName(l.name, line.name)) {
                // The later line wins, as on import; the first spelling stays.
                l.kind = line.kind;
                l.value = line.value;
                return;
            }
        }
    }
    lines.append(std::move(line));
}

Document parse(const QString& text)
{
    Document doc;
    Section* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString l : lines) {
        if (l.endsWith(QLatin1Char('\r'))) {
            l.chop(1);
        }
        const QString t = l.trimmed();
        if (t.isEmpty()) {
            continue;
        }
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            const QString header = t.mid(1, t.size() - 2);
            const KeyPath key = keyOfHeader(header);
            current = nullptr;
            if (!key.root.isEmpty()) {
                current = doc.find(key); // a key written twice is one key
            }
            if (!current) {
                doc.sections.append(Section{header, key, {}});
                current = &doc.sections.last();
            }
            continue;
        }
        Line line = t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'))
                        ? Line{Line::Kind::Raw, {}, l}
                        : parseLine(l);
        addLine(current ? current->lines : doc.preamble, std::move(line));
    }
    return doc;
}

QByteArray serialize(const Document& doc)
{
    QString out;
    for (const Line& l : doc.preamble) {
        out += l.value + QLatin1Char('\n');
    }
    for (const Section& s : doc.sections) {
        if (!out.isEmpty()) {
            out += QLatin1Char('\n');
        }
        out += QLatin1Char('[') + s.path + QLatin1String("]\n");
        for (const Line& l : s.lines) {
            if (l.kind == Line::Kind::Value) {
                out += (l.name.isEmpty() ? QStringLiteral("@") : quoted(l.name)) +
                       QLatin1Char('=') + quoted(l.value) + QLatin1Char('\n');
            } else {
                out += l.value + QLatin1Char('\n');
            }
        }
    }
    return out.toUtf8();
}

Document load(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return parse(decode(f.readAll()));
}

// Runs one read-modify-write of the file under its lock. The change returns false when it left
// the document as it was, so nothing is written.
template <typename Change> void update(const QString& file, Change change)
{
    const QString dir = QFileInfo(file).absolutePath();
    QDir().mkpath(dir);
    QLockFile lock(file + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        ErrorLog::write(QStringLiteral("SettingsStore"),
                        QStringLiteral("Settings file is locked: ") + file,
                        static_cast<long long>(lock.error()));
        return;
    }
    Document doc = load(file);
    if (!change(doc)) {
        return;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(serialize(doc)) < 0 || !out.commit()) {
        ErrorLog::write(QStringLiteral("SettingsStore"), QStringLiteral("Cannot write ") + file +
                                                             QStringLiteral(": ") +
                                                             out.errorString());
    }
}

} // namespace

SettingsStore::SettingsStore(QString file)
    : m_file(file.isEmpty() ? Paths::settingsFile() : std::move(file))
{
}

QString SettingsStore::readValue(const QString& keyPath, const QString& valueName) const
{
    const auto key = splitKeyPath(keyPath);
    if (!key) {
        return QString(QLatin1String(""));
    }
    Document doc = load(m_file);
    const Section* s = doc.find(*key);
    if (!s) {
        return Error;
    }
    for (const Line& l : s->lines) {
        if (l.kind != Line::Kind::Raw && sameName(l.name, valueName)) {
            if (l.kind != Line::Kind::Value || l.value.size() > MaxValueLength) {
                return Error;
            }
            // Never a null string, so an empty value is told apart from "no answer".
            return l.value.isNull() ? QString(QLatin1String("")) : l.value;
        }
    }
    return Error;
}

void SettingsStore::createKey(const QString& keyPath)
{
    const auto key = splitKeyPath(keyPath);
    if (!key || key->sub.isEmpty()) {
        return;
    }
    update(m_file, [&](Document& doc) {
        bool changed = false;
        // Parents are written as sections of their own, as a registry export lists them.
        const QStringList parts = key->sub.split(QLatin1Char('\\'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QString sub = parts.mid(0, i + 1).join(QLatin1Char('\\'));
            const KeyPath k{key->root, sub};
            if (!doc.find(k)) {
                doc.sections.append(Section{k.root + QLatin1Char('\\') + sub, k, {}});
                changed = true;
            }
        }
        return changed;
    });
}

void SettingsStore::writeValue(const QString& keyPath, const QString& valueName,
                               const QString& text)
{
    const auto key = splitKeyPath(keyPath);
    if (!key) {
        return;
    }
    update(m_file, [&](Document& doc) {
        if (!doc.keyExists(*key)) {
            return false;
        }
        Section* s = doc.find(*key);
        if (!s) {
            // A key that exists only as the parent of a written one gets its own section.
            const QString path =
                key->sub.isEmpty() ? key->root : key->root + QLatin1Char('\\') + key->sub;
            doc.sections.append(Section{path, *key, {}});
            s = &doc.sections.last();
        }
        for (Line& l : s->lines) {
            if (l.kind != Line::Kind::Raw && sameName(l.name, valueName)) {
                if (l.kind == Line::Kind::Value && l.value == text) {
                    return false;
                }
                l.kind = Line::Kind::Value;
                l.value = text;
                return true;
            }
        }
        s->lines.append(Line{Line::Kind::Value, valueName, text});
        return true;
    });
}

bool SettingsStore::keyExists(const QString& keyPath) const
{
    const auto key = splitKeyPath(keyPath);
    if (!key) {
        return false;
    }
    return load(m_file).keyExists(*key);
}
