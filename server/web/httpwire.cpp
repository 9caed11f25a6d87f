// SPDX-License-Identifier: Apache-2.0
#include "server/web/httpwire.h"

namespace HttpWire {

namespace {

bool isToken(const QByteArray& s)
{
    if (s.isEmpty()) {
        return false;
    }
    for (const char c : s) {
        if (c <= ' ' || c >= 127 || QByteArrayView("()<>@,;:\\\"/[]?={}").contains(c)) {
            return false;
        }
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Decodes %XX escapes (and '+' as a blank when `plusIsSpace`); false on a broken escape.
bool percentDecode(const QByteArray& in, QByteArray& out, bool plusIsSpace)
{
    out.clear();
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '%') {
            if (i + 2 >= in.size()) {
                return false;
            }
            const int hi = hexValue(in.at(i + 1));
            const int lo = hexValue(in.at(i + 2));
            if (hi < 0 || lo < 0) {
                return false;
            }
            out.append(char(hi * 16 + lo));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.append(' ');
        } else {
            out.append(c);
        }
    }
    return true;
}

} // namespace

QByteArray Request::header(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first == name) {
            return h.second;
        }
    }
    return {};
}

QByteArray Request::cookie(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first != "cookie") {
            continue;
        }
        for (const QByteArray& part : h.second.split(';')) {
            const QByteArray pair = part.trimmed();
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0 && pair.left(eq) == name) {
                return pair.mid(eq + 1);
            }
        }
    }
    return {};
}

RequestReader::State RequestReader::refuse(int status)
{
    m_status = status;
    m_buffer.clear();
    m_state = State::Refused;
    return m_state;
}

RequestReader::State RequestReader::feed(const QByteArray& bytes)
{
    if (m_state != State::Incomplete) {
        return m_state;
    }
    m_buffer += bytes;
    if (m_bodyLength < 0) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return m_buffer.size() > MaxHeaderBytes ? refuse(431) : m_state;
        }
        if (end > MaxHeaderBytes) {
            return refuse(431);
        }
        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end + 4);
        if (parseHead(head) == State::Refused) {
            return m_state;
        }
    }
    if (m_buffer.size() > m_bodyLength) {
        // One request per connection: anything after the body is not a request to answer.
        return refuse(400);
    }
    if (m_buffer.size() == m_bodyLength) {
        m_request.body = m_buffer;
        m_buffer.clear();
        m_state = State::Complete;
    }
    return m_state;
}

RequestReader::State RequestReader::parseHead(const QByteArray& head)
{
    // Lines end in CRLF; a bare CR or LF inside one is refused below, never taken as an end.
    QList<QByteArray> lines;
    for (qsizetype from = 0;;) {
        const qsizetype end = head.indexOf("\r\n", from);
        lines.append(head.mid(from, end < 0 ? -1 : end - from));
        if (end < 0 || lines.size() > MaxHeaderLines) {
            break;
        }
        from = end + 2;
    }
    if (lines.size() > MaxHeaderLines) {
        return refuse(431);
    }
    const QList<QByteArray> start = lines.first().split(' ');
    if (start.size() != 3 || !isToken(start.at(0)) || !start.at(2).startsWith("HTTP/1.")) {
        return refuse(400);
    }
    m_request.method = start.at(0);
    m_request.target = start.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (line.contains('\r') || line.contains('\n')) {
            return refuse(400);
        }
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        if (colon <= 0 || !isToken(name)) {
            return refuse(400);
        }
        m_request.headers.append({name, line.mid(colon + 1).trimmed()});
    }
    if (!m_request.header("transfer-encoding").isEmpty()) {
        return refuse(501);
    }
    m_bodyLength = 0;
    const QByteArray length = m_request.header("content-length");
    if (!length.isEmpty()) {
        bool ok = false;
        const qlonglong n = length.toLongLong(&ok);
        if (!ok || n < 0) {
            return refuse(400);
        }
        if (n > MaxBodyBytes) {
            return refuse(413);
        }
        m_bodyLength = n;
    }
    return m_state;
}

QByteArray normalisedPath(const QByteArray& target)
{
    if (!target.startsWith('/')) {
        return {};
    }
    const qsizetype end = target.indexOf('?');
    const QByteArray raw = end < 0 ? target : target.left(end);
    QByteArray path;
    if (!percentDecode(raw, path, false)) {
        return {};
    }
    for (const char c : path) {
        if (c == '\\' || uchar(c) < 0x20 || c == 0x7f) {
            return {};
        }
    }
    for (const QByteArray& segment : path.split('/')) {
        if (segment == "." || segment == "..") {
            return {};
        }
    }
    return path;
}

QByteArray formValue(const QByteArray& body, const QByteArray& name)
{
    for (const QByteArray& field : body.split('&')) {
        const qsizetype eq = field.indexOf('=');
        QByteArray key;
        if (eq < 0 || !percentDecode(field.left(eq), key, true) || key != name) {
            continue;
        }
        QByteArray value;
        if (!percentDecode(field.mid(eq + 1), value, true)) {
            return {};
        }
        return value.isNull() ? QByteArray("") : value;
    }
    return {};
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    default:
        return "Error";
    }
}

QByteArray Response::serialised() const
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    const auto add = [&out](const QByteArray& name, const QByteArray& value) {
        out += name + ": " + value + "\r\n";
    };
    add("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    add("X-Frame-Options", "DENY");
    add("X-Content-Type-Options", "nosniff");
    add("Referrer-Policy", "no-referrer");
    if (privatePage) {
        add("Cache-Control", "no-store");
    }
    if (!contentType.isEmpty()) {
        add("Content-Type", contentType);
    }
    for (const auto& h : headers) {
        add(h.first, h.second);
    }
    add("Content-Length", QByteArray::number(body.size()));
    add("Connection", "close");
    out += "\r\n";
    out += body;
    return out;
}

} // namespace HttpWire
