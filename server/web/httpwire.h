// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// The little of HTTP/1.1 the owner's page needs, read under fixed limits: one request per
// connection, a request line and headers of a few KiB, a body only with a Content-Length and
// never more than the route allows. Anything beyond a limit is refused before it is kept, so no
// peer makes the console hold more than these few KiB for its connection.
namespace HttpWire {

constexpr int MaxHeaderBytes = 8 * 1024;
constexpr int MaxHeaderLines = 64;
constexpr int MaxBodyBytes = 1024;

struct Request
{
    QByteArray method;
    QByteArray target;                            // as sent, before any decoding
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;

    // The first header of that name (lower case), or empty.
    QByteArray header(const QByteArray& name) const;
    // A cookie's value from the Cookie headers, or empty.
    QByteArray cookie(const QByteArray& name) const;
};

// Collects one request from the bytes as they arrive.
class RequestReader
{
public:
    enum class State
    {
        Incomplete,
        Complete,
        Refused
    };

    // Takes the next bytes; the state after them.
    State feed(const QByteArray& bytes);
    State state() const { return m_state; }
    const Request& request() const { return m_request; }
    // The status a refusal answers with (400, 413, 431, 501 ...).
    int refusalStatus() const { return m_status; }

private:
    State refuse(int status);
    State parseHead(const QByteArray& head);

    QByteArray m_buffer;
    Request m_request;
    qsizetype m_bodyLength = -1;
    State m_state = State::Incomplete;
    int m_status = 0;
};

// The path of a request target with the query dropped and percent-escapes decoded; empty when
// the target is not a plain absolute path: dot segments (however encoded), backslashes, control
// characters, or escapes that do not decode. Such a path names nothing this server serves.
QByteArray normalisedPath(const QByteArray& target);

// The value of a field of an application/x-www-form-urlencoded body, or a null array.
QByteArray formValue(const QByteArray& body, const QByteArray& name);

struct Response
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // beyond those every response carries
    bool privatePage = true;                      // not to be kept by any cache

    // The whole response as sent: status line, the guarding headers, the extra ones, the body.
    QByteArray serialised() const;
};

QByteArray reasonPhrase(int status);

} // namespace HttpWire
