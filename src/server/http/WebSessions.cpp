#include "WebSessions.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <array>

QByteArray WebSessions::Open()
{
    dropExpired();
    if (lastUse_.size() >= maxSessions_) {
        const auto oldest =
            std::min_element(lastUse_.begin(), lastUse_.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        lastUse_.erase(oldest);
    }
    std::array<quint32, 8> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), bits.size());
    const QByteArray session =
        QByteArray(reinterpret_cast<const char*>(bits.data()), sizeof bits)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    lastUse_[session] = Clock::now();
    return session;
}

bool WebSessions::Holds(const QByteArray& cookieHeader)
{
    dropExpired();
    const auto it = lastUse_.find(sessionIn(cookieHeader));
    if (it == lastUse_.end())
        return false;
    it->second = Clock::now();
    return true;
}

void WebSessions::Close(const QByteArray& cookieHeader) { lastUse_.erase(sessionIn(cookieHeader)); }

QByteArray WebSessions::SetCookie(const QByteArray& session, bool secure)
{
    return QByteArray(kCookieName) + '=' + session + "; Path=/; HttpOnly; SameSite=Strict" +
           (secure ? "; Secure" : "");
}

QByteArray WebSessions::ExpiredCookie(bool secure)
{
    return QByteArray(kCookieName) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0" +
           (secure ? "; Secure" : "");
}

// "a=1; tavlo_session=XYZ; b=2" holds XYZ.
QByteArray WebSessions::sessionIn(const QByteArray& cookieHeader)
{
    const QByteArray prefix = QByteArray(kCookieName) + '=';
    for (const QByteArray& cookie : cookieHeader.split(';')) {
        const QByteArray trimmed = cookie.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size());
    }
    return {};
}

void WebSessions::dropExpired()
{
    const Clock::time_point now = Clock::now();
    std::erase_if(lastUse_, [&](const auto& entry) { return now - entry.second > idleLimit_; });
}
