// Why a port did not open, under the box that every failure shares: the cases are made with
// what a POSIX system offers (a lock, a device's group and mode), so this suite runs there only.
#include "LinkPageFixture.h"

#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace link_test;

class LinkOpenFailureTest : public QObject {
    Q_OBJECT
    SettingsSandbox settings_;

private slots:
    void cleanupTestCase() { GlobalSerialPort().ClosePort(); }
    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
};

void LinkOpenFailureTest::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("setup"); // what stands in the way of the open
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing"
                             << "no such device";
    QTest::newRow("held") << "held"
                          << "held by another program";
    QTest::newRow("denied, group dialout")
        << "dialout"
        << "permission denied: add your user to the dialout group, then log in again";
    QTest::newRow("denied, another group") << "tty"
                                           << "permission denied";
}

// The box is the same for every failure; the line under it in the Rx box says which it was.
void LinkOpenFailureTest::openFailureSaysWhy()
{
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    const bool denied = setup == "dialout" || setup == "tty";
    if (denied && ::geteuid() != 0)
        QSKIP("taking the rights away from the test needs root");
    LinkFixture f(fastTimings());
    const std::string path = setup == "missing" ? "/nonexistent/ttyTavlo" : f.pty.slavePath();
    f.ports = {LinkFixture::portRecord(path, "Test matrix")};
    f.page->FillPortList();
    int held = -1;
    if (setup == "held") {
        held = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
    }
    if (denied) {
        const group* owner = ::getgrnam(setup.toLatin1().constData());
        QVERIFY(owner != nullptr);
        QCOMPARE(::chown(path.c_str(), 0, owner->gr_gid), 0);
        QCOMPARE(::chmod(path.c_str(), 0660), 0);
        QCOMPARE(::seteuid(65534), 0); // nobody, in no group that may open it
    }
    f.clickOpen();
    if (denied)
        QCOMPARE(::seteuid(0), 0);
    if (held >= 0)
        ::close(held);

    QCOMPARE(f.messages.shown.size(), size_t(1));
    QCOMPARE(f.messages.shown[0].text, QStringLiteral("ERROR:COM is invalid,please refresh again"));
    const QString line = QString::fromStdString(path) + QStringLiteral(": ") + reason;
    QVERIFY2(f.rxShown().endsWith(line + QLatin1Char('\n')), qPrintable(f.rxShown()));
    QCOMPARE(f.rxShown().count(QLatin1Char('\n')), 1);
    QVERIFY(!GlobalSerialPort().IsOpen());
}

QTEST_MAIN(LinkOpenFailureTest)
#include "tst_link_open_failure.moc"
