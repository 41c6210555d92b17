#pragma once
// The page's logins: a browser that has given the token gets a session, a random name that its
// cookie carries from then on. Sessions live in memory only, are bounded in number (the oldest
// goes first) and end after a day unused; a server that restarts forgets them all.
//
// I/O thread only.
#include <QByteArray>
#include <chrono>
#include <map>

class WebSessions {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr const char* kCookieName = "tavlo_session";

    explicit WebSessions(size_t maxSessions = 256,
                         Clock::duration idleLimit = std::chrono::hours(24))
        : maxSessions_(maxSessions), idleLimit_(idleLimit)
    {
    }

    // A new session's name (43 characters of base64url, 256 random bits).
    QByteArray Open();
    // Whether the Cookie header holds a live session; its time starts again if so.
    bool Holds(const QByteArray& cookieHeader);
    void Close(const QByteArray& cookieHeader);

    // Set-Cookie values: the session's, and the one that ends it in the browser; secure: sent
    // back over TLS only.
    static QByteArray SetCookie(const QByteArray& session, bool secure = false);
    static QByteArray ExpiredCookie(bool secure = false);

private:
    static QByteArray sessionIn(const QByteArray& cookieHeader);
    void dropExpired();

    size_t maxSessions_;
    Clock::duration idleLimit_;
    std::map<QByteArray, Clock::time_point> lastUse_;
};
