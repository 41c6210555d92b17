#pragma once
// The token every endpoint asks for, held once for the whole server so that a new one (read
// again from its file) holds for every endpoint at once, and the throttle on guessing it: an
// address that has sent too many wrong tokens within the window has its tries judged one per
// slot from then on, right or wrong, so that many connections at once learn no more than one
// would. Other addresses are not slowed. The addresses kept are bounded; past the bound the one
// whose last wrong try is oldest is forgotten.
//
// I/O thread only.
#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <vector>

class TokenGate {
public:
    using Clock = std::chrono::steady_clock;

    struct Throttle {
        int wrongTries = 10; // from one address within the window, before its tries wait
        Clock::duration window = std::chrono::seconds(60);
        Clock::duration slot = std::chrono::seconds(1); // between two judgements, once throttled
        size_t maxAddresses = 4096;
    };

    TokenGate(QByteArray token, Throttle throttle);

    bool Required() const { return !token_.isEmpty(); }
    // Tries judged from now on are judged against this one.
    void SetToken(QByteArray token);
    // Counts the changes of the token, so that what was opened with an old one can be told.
    int Generation() const { return generation_; }

    // How long a try from the address waits before it is judged: nothing, unless the address
    // is throttled; then the try takes the address's next free slot.
    Clock::duration Wait(const QString& address, Clock::time_point now = Clock::now());
    // Whether the try (its wait over) is the token; a wrong one counts against its address.
    bool Judge(const QString& address, const QByteArray& given,
               Clock::time_point now = Clock::now());

    size_t AddressesKept() const { return addresses_.size(); }

private:
    struct Address {
        std::vector<Clock::time_point> wrong; // within the window, oldest first, at most the limit
        Clock::time_point nextSlot;
        Clock::time_point lastWrong() const { return wrong.empty() ? nextSlot : wrong.back(); }
    };

    // Drops the address's wrong tries that have left the window.
    bool isThrottled(Address& address, Clock::time_point now) const;
    Address& entry(const QString& address, Clock::time_point now);
    void forgetPassed(Clock::time_point now);

    QByteArray token_;
    int generation_ = 0;
    Throttle throttle_;
    std::map<QString, Address> addresses_; // only those with a wrong try in the window
    Clock::time_point lastSweep_;
};
