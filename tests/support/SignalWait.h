#pragma once
// Waits for a signal that another thread emits. QSignalSpy::wait() counts what it holds when
// it starts and waits for one more, so a signal the port thread sends just before the test
// reaches its wait is missed; this waits until the spy holds any at all.
#include <QSignalSpy>
#include <QTest>

inline bool WaitForSignal(QSignalSpy& spy, int timeoutMs)
{
    return QTest::qWaitFor([&spy] { return !spy.isEmpty(); }, timeoutMs);
}
