#include "TokenGate.h"

#include "ClientConnection.h"
#include "ServerLog.h"

#include <algorithm>

TokenGate::TokenGate(QByteArray token, Throttle throttle)
    : token_(std::move(token)), throttle_(throttle)
{
    throttle_.wrongTries = std::max(throttle_.wrongTries, 1);
}

void TokenGate::SetToken(QByteArray token)
{
    if (token == token_)
        return;
    token_ = std::move(token);
    ++generation_;
}

TokenGate::Clock::duration TokenGate::Wait(const QString& address, Clock::time_point now)
{
    const auto it = addresses_.find(address);
    if (it == addresses_.end() || !isThrottled(it->second, now))
        return Clock::duration::zero();
    const Clock::time_point slot = std::max(now, it->second.nextSlot);
    it->second.nextSlot = slot + throttle_.slot;
    return slot - now;
}

bool TokenGate::Judge(const QString& address, const QByteArray& given, Clock::time_point now)
{
    if (SameSecret(given, token_))
        return true;
    Address& from = entry(address, now);
    const bool before = isThrottled(from, now);
    if (from.wrong.size() >= size_t(throttle_.wrongTries))
        from.wrong.erase(from.wrong.begin());
    from.wrong.push_back(now);
    // The try after this one waits its slot from here, whether it has been throttled yet or not.
    from.nextSlot = std::max(from.nextSlot, now + throttle_.slot);
    if (!before && isThrottled(from, now)) {
        using std::chrono::duration_cast;
        const auto window = duration_cast<std::chrono::seconds>(throttle_.window).count();
        const auto slot = duration_cast<std::chrono::milliseconds>(throttle_.slot).count();
        ServerLog(QStringLiteral("%1 wrong tokens from %2 within %3 s: its tries are judged one "
                                 "per %4 ms from now on")
                      .arg(from.wrong.size())
                      .arg(address)
                      .arg(window)
                      .arg(slot));
    }
    return false;
}

bool TokenGate::isThrottled(Address& address, Clock::time_point now) const
{
    const auto passed =
        std::find_if(address.wrong.begin(), address.wrong.end(),
                     [&](Clock::time_point t) { return now - t < throttle_.window; });
    address.wrong.erase(address.wrong.begin(), passed);
    return address.wrong.size() >= size_t(throttle_.wrongTries);
}

TokenGate::Address& TokenGate::entry(const QString& address, Clock::time_point now)
{
    if (const auto it = addresses_.find(address); it != addresses_.end())
        return it->second;
    if (addresses_.size() >= throttle_.maxAddresses || now - lastSweep_ >= throttle_.window)
        forgetPassed(now);
    if (addresses_.size() >= throttle_.maxAddresses) {
        const auto oldest = std::min_element(addresses_.begin(), addresses_.end(),
                                             [](const auto& a, const auto& b) {
                                                 return a.second.lastWrong() < b.second.lastWrong();
                                             });
        addresses_.erase(oldest);
    }
    return addresses_[address];
}

// An address is kept while a wrong try of it is in the window or a slot of it is still ahead.
void TokenGate::forgetPassed(Clock::time_point now)
{
    lastSweep_ = now;
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        isThrottled(it->second, now);
        const bool passed = it->second.wrong.empty() && it->second.nextSlot <= now;
        it = passed ? addresses_.erase(it) : std::next(it);
    }
}
