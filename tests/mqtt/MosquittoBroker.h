#pragma once
// A real broker for the tests: `mosquitto` on a free loopback port, with a configuration
// written here, in a folder of its own that goes with it. It keeps its port across a stop and a
// start, so clients can come back to it; it persists nothing, so a restart forgets every
// retained message.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace mqtt_test {

class MosquittoBroker {
public:
    struct Login {
        QByteArray user;
        QByteArray password;
    };
    // Paths of a CA, and the certificate and key it signed for "localhost" and 127.0.0.1.
    struct Tls {
        QString caFile;
        QString certFile;
        QString keyFile;
    };

    MosquittoBroker();
    ~MosquittoBroker(); // stopped

    // Only this user, with this password, may connect from the next start on.
    bool RequireLogin(const Login& login);
    // TLS with this certificate from the next start on.
    void UseTls(const Tls& tls) { tls_ = tls; }

    // Starts and waits until it accepts connections; false, with its output, when it will not.
    bool Start(QString* error = nullptr);
    void Stop();
    bool Running() const { return process_.state() == QProcess::Running; }
    quint16 Port() const { return port_; }
    QString Dir() const { return dir_.path(); }
    QString Url() const;

private:
    bool writeConfig(QString* error);

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    bool login_ = false;
    Tls tls_;
};

// A CA and a server certificate made with openssl in the folder; false when openssl failed.
bool MakeTestCertificates(const QString& dir, MosquittoBroker::Tls& tls, QString* error);

} // namespace mqtt_test
