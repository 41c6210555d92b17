// Simulator lines on Windows: a TCP port served with Winsock events. There are no
// pseudo-terminals; a client opens the TCP line as socket://HOST:PORT instead.
#include "SimulatorLine.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <mutex>

namespace {

std::string systemError(const std::string& what)
{
    return what + " (Windows error " + std::to_string(WSAGetLastError()) + ")";
}

void closeSocket(SOCKET& socket)
{
    if (socket != INVALID_SOCKET)
        ::closesocket(socket);
    socket = INVALID_SOCKET;
}

// One client at a time; a second one is turned away while the first is connected, as a serial
// line has one other end.
class TcpLine : public SimulatorLine {
public:
    ~TcpLine() override
    {
        HangUp();
        for (HANDLE event : {wake_, listenerEvent_, clientEvent_}) {
            if (event)
                CloseHandle(event);
        }
        if (started_)
            WSACleanup();
    }

    bool Open(const std::string& host, uint16_t port, std::string* error)
    {
        WSADATA data{};
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            *error = "cannot start Winsock";
            return false;
        }
        started_ = true;
        wake_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        listenerEvent_ = WSACreateEvent();
        clientEvent_ = WSACreateEvent();
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
            *error = "not an IP address: " + host;
            return false;
        }
        const bool ok = listenOn(*found, error);
        freeaddrinfo(found);
        return ok;
    }

    std::string ClientAddress() const override { return address_; }

    Event Wait(int timeoutMs, char* reason) override
    {
        const HANDLE events[3] = {wake_, listenerEvent_, clientEvent_};
        const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        const DWORD which = WaitForMultipleObjects(3, events, FALSE, timeout);
        if (which == WAIT_TIMEOUT)
            return Event::TimedOut;
        if (which == WAIT_OBJECT_0) {
            ResetEvent(wake_);
            *reason = reason_.exchange(0);
            return Event::Woken;
        }
        if (which == WAIT_OBJECT_0 + 1) {
            WSANETWORKEVENTS happened{};
            WSAEnumNetworkEvents(listener_, listenerEvent_, &happened);
            takeClient();
            return Event::TimedOut;
        }
        if (which == WAIT_OBJECT_0 + 2) {
            WSANETWORKEVENTS happened{};
            WSAEnumNetworkEvents(client(), clientEvent_, &happened);
            return Event::Readable;
        }
        return Event::Failed;
    }

    long Read(char* buffer, size_t size) override
    {
        const int got = ::recv(client(), buffer, static_cast<int>(size), 0);
        if (got > 0)
            return got;
        if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            return 0;
        dropClient(); // the client left; the line stays up for the next one
        return 0;
    }

    long Write(const uint8_t* data, size_t size) override
    {
        std::lock_guard lock(clientMutex_);
        if (client_ == INVALID_SOCKET)
            return static_cast<long>(size);
        const int n =
            ::send(client_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
        if (n >= 0)
            return n;
        // A client gone is noticed by the reader.
        return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : static_cast<long>(size);
    }

    void WaitWritable(int timeoutMs) override
    {
        std::lock_guard lock(clientMutex_);
        if (client_ == INVALID_SOCKET)
            return;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(client_, &writable);
        timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::select(0, nullptr, &writable, nullptr, &wait);
    }

    void Wake(char reason) override
    {
        reason_ = reason;
        SetEvent(wake_);
    }

    void HangUp() override
    {
        dropClient();
        closeSocket(listener_);
    }

private:
    bool listenOn(const addrinfo& address, std::string* error)
    {
        listener_ = ::socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
        // Exclusive, so that no other program can take the port over while it is ours.
        const BOOL yes = TRUE;
        if (listener_ == INVALID_SOCKET ||
            ::setsockopt(listener_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                         reinterpret_cast<const char*>(&yes), sizeof yes) != 0 ||
            ::bind(listener_, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0 ||
            ::listen(listener_, 1) != 0 ||
            WSAEventSelect(listener_, listenerEvent_, FD_ACCEPT) != 0) {
            *error = systemError("cannot listen on the address");
            closeSocket(listener_);
            return false;
        }
        sockaddr_storage bound{};
        int length = sizeof bound;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
        char host[NI_MAXHOST] = {};
        char port[NI_MAXSERV] = {};
        getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
        const bool v6 = bound.ss_family == AF_INET6;
        address_ = std::string("socket://") + (v6 ? "[" : "") + host + (v6 ? "]" : "") + ":" + port;
        return true;
    }

    SOCKET client() const
    {
        std::lock_guard lock(clientMutex_);
        return client_;
    }

    void takeClient()
    {
        SOCKET accepted = ::accept(listener_, nullptr, nullptr);
        if (accepted == INVALID_SOCKET)
            return;
        std::lock_guard lock(clientMutex_);
        if (client_ != INVALID_SOCKET) {
            closeSocket(accepted);
            return;
        }
        const BOOL yes = TRUE;
        ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                     sizeof yes);
        // Also makes the socket non-blocking.
        WSAEventSelect(accepted, clientEvent_, FD_READ | FD_CLOSE);
        client_ = accepted;
    }

    void dropClient()
    {
        std::lock_guard lock(clientMutex_);
        closeSocket(client_);
        if (clientEvent_)
            WSAResetEvent(clientEvent_);
    }

    bool started_ = false;
    HANDLE wake_ = nullptr;
    std::atomic<char> reason_{0};
    HANDLE listenerEvent_ = nullptr;
    HANDLE clientEvent_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
    mutable std::mutex clientMutex_; // client_ changes on the reader, is written on the writer
    SOCKET client_ = INVALID_SOCKET;
    std::string address_;
};

} // namespace

std::unique_ptr<SimulatorLine> OpenTcpLine(const std::string& host, uint16_t port,
                                           std::string* error)
{
    auto line = std::make_unique<TcpLine>();
    if (!line->Open(host, port, error))
        return nullptr;
    return line;
}

std::unique_ptr<SimulatorLine> OpenLocalLine(std::string* error)
{
    return OpenTcpLine("127.0.0.1", 0, error);
}

// Commands are told apart by when their bytes arrive; the reading thread only ever waits
// between short bursts of work, so running it first never holds a core.
void ReadAsBytesArrive() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }
