#include "MqttSession.h"

#include "MqttBrokerQuery.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>

namespace {

// How long one turn of the network loop may sleep in select(). Publishing and Stop wake it at
// once; this only paces the keep-alive bookkeeping, which a 30 s keep-alive lets be slow,
// and each turn costs a wake-up: twenty bridges on one machine should cost next to nothing.
constexpr int kLoopMs = 5000;
// Stop's wait for the DISCONNECT to go out and the thread to end.
constexpr auto kStopWait = std::chrono::milliseconds(2000);
constexpr int kQos = 1;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString describe(int rc, int savedErrno)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

struct MqttSession::Shared {
    using Event = MqttSession::Event;

    Shared(const MqttOptions& given, Sink eventSink)
        : options(given), sink(std::move(eventSink)), random(std::random_device{}())
    {
    }
    ~Shared() { mosquitto_destroy(mosq); }

    bool isStopping()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }
    void post(Event event)
    {
        std::lock_guard lock(mutex);
        if (sink)
            sink(std::move(event));
    }
    // True when woken by Stop.
    bool sleep(int ms)
    {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }

    void run();
    int connect();
    int serve();
    QString failureReason(int rc);
    int nextRetryMs();

    const MqttOptions options;
    mosquitto* mosq = nullptr;
    std::vector<QByteArray> subscriptions;
    // Network thread only.
    bool accepted = false; // the broker took this connection (CONNACK 0)
    QString refusal;       // the broker's reason for not taking it
    QString lastLogError;  // the library's own words for the last error (TLS, mostly)
    int failures = 0;      // attempts failed in a row since the last accepted connection
    int lastErrno = 0;     // errno right after the last library call that may have set it

    std::mutex mutex; // guards the four below
    std::condition_variable wake;
    bool stopping = false;
    bool finished = false;
    Sink sink;

    std::minstd_rand random; // network thread only
};

namespace {

MqttSession::Shared& sharedOf(void* object) { return *static_cast<MqttSession::Shared*>(object); }

void onConnect(mosquitto* mosq, void* object, int rc)
{
    MqttSession::Shared& s = sharedOf(object);
    if (rc != 0) {
        s.refusal = QStringLiteral("the broker refused the connection: %1")
                        .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    s.accepted = true;
    s.failures = 0;
    for (const QByteArray& filter : s.subscriptions)
        mosquitto_subscribe(mosq, nullptr, filter.constData(), kQos);
    s.post(MqttSession::Event(MqttSession::Event::Kind::Connected));
}

void onMessage(mosquitto*, void* object, const mosquitto_message* message)
{
    MqttSession::Event event{MqttSession::Event::Kind::Message};
    event.topic = QByteArray(message->topic);
    event.payload = QByteArray(static_cast<const char*>(message->payload), message->payloadlen);
    event.retained = message->retain;
    sharedOf(object).post(std::move(event));
}

void onLog(mosquitto*, void* object, int level, const char* text)
{
    if (level & MOSQ_LOG_ERR)
        sharedOf(object).lastLogError = QString::fromUtf8(text);
}

} // namespace

void MqttSession::Shared::run()
{
    while (!isStopping()) {
        accepted = false;
        refusal.clear();
        lastLogError.clear();
        int rc = connect();
        if (rc == MOSQ_ERR_SUCCESS)
            rc = serve();
        if (isStopping())
            break;
        Event event{accepted ? Event::Kind::Lost : Event::Kind::ConnectFailed};
        event.reason = failureReason(rc);
        event.retryMs = nextRetryMs();
        post(event);
        if (sleep(event.retryMs))
            break;
    }
    std::lock_guard lock(mutex);
    finished = true;
    wake.notify_all();
}

int MqttSession::Shared::connect()
{
    const QByteArray host = options.host.toUtf8();
    const int rc =
        mosquitto_connect(mosq, host.constData(), options.port, options.keepAliveSeconds);
    lastErrno = errno;
    return rc;
}

// Runs the connection until it is lost, or until Stop's DISCONNECT has gone out.
int MqttSession::Shared::serve()
{
    std::optional<std::chrono::steady_clock::time_point> giveUpAt;
    for (;;) {
        const int rc = mosquitto_loop(mosq, kLoopMs, 1);
        lastErrno = errno;
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
        if (!isStopping())
            continue;
        if (!giveUpAt)
            giveUpAt = std::chrono::steady_clock::now() + kStopWait;
        if (std::chrono::steady_clock::now() > *giveUpAt)
            return MOSQ_ERR_SUCCESS;
        mosquitto_disconnect(mosq); // Stop's may have come before the connect ended
    }
}

QString MqttSession::Shared::failureReason(int rc)
{
    if (!refusal.isEmpty())
        return refusal;
    QString reason = describe(rc, lastErrno);
    if (rc == MOSQ_ERR_TLS && !lastLogError.isEmpty())
        reason += ' ' + lastLogError;
    return reason;
}

int MqttSession::Shared::nextRetryMs()
{
    const int doublings = std::min(failures, 16);
    const double base =
        std::min<double>(options.retryMaxMs, double(options.retryMinMs) * (1 << doublings));
    ++failures;
    std::uniform_real_distribution<double> jitter(0.8, 1.2);
    return static_cast<int>(std::min<double>(options.retryMaxMs, base * jitter(random)));
}

MqttSession::MqttSession(const MqttOptions& options, const QByteArray& willTopic,
                         const QByteArray& willPayload, Sink sink)
    : shared_(std::make_shared<Shared>(options, std::move(sink)))
{
    initLibrary();
    const QByteArray clientId = options.DeviceKey().toUtf8();
    // A clean session: a command the broker delivered but never saw acknowledged is not
    // delivered again on the next connection, so none is carried out twice.
    constexpr bool kCleanSession = true;
    mosquitto* mosq = mosquitto_new(clientId.constData(), kCleanSession, shared_.get());
    shared_->mosq = mosq;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_message_callback_set(mosq, onMessage);
    mosquitto_log_callback_set(mosq, onLog);
    mosquitto_will_set(mosq, willTopic.constData(), int(willPayload.size()),
                       willPayload.constData(), kQos, true);
    ApplyBrokerLogin(mosq, options);
}

MqttSession::~MqttSession() { Stop(); }

void MqttSession::Start(std::vector<QByteArray> subscriptions)
{
    if (thread_.joinable())
        return;
    shared_->subscriptions = std::move(subscriptions);
    thread_ = std::thread([shared = shared_] { shared->run(); });
}

bool MqttSession::Publish(const QByteArray& topic, const QByteArray& payload, bool retain)
{
    return mosquitto_publish(shared_->mosq, nullptr, topic.constData(), int(payload.size()),
                             payload.constData(), kQos, retain) == MOSQ_ERR_SUCCESS;
}

void MqttSession::Stop()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->sink = nullptr;
        shared_->wake.notify_all();
    }
    // Queued behind what was published, and wakes the network loop.
    mosquitto_disconnect(shared_->mosq);
    std::unique_lock lock(shared_->mutex);
    if (shared_->wake.wait_for(lock, kStopWait, [this] { return shared_->finished; })) {
        lock.unlock();
        thread_.join();
    } else {
        lock.unlock();
        thread_.detach(); // it holds the shared state and frees it when done
    }
}
