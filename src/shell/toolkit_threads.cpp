// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit_threads.h"

#include <QDBusConnection>
#include <QSemaphore>
#include <QString>
#include <QThreadPool>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

namespace shell {
namespace {

// One painting thread, kept for good: a pool that lets its thread expire
// creates it again later, when the system may refuse it (Qt does not notice
// and the painting waits for work that never runs). The window is small; one
// helper paints it as fast as several.
bool paintingThreadRuns(std::chrono::milliseconds limit) {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(1);
    auto ran = std::make_shared<QSemaphore>();
    pool->start([ran] { ran->release(); });
    return ran->tryAcquire(1, static_cast<int>(limit.count()));
}

// The first connection creates the D-Bus thread; each connection waits for
// that thread to answer. An address that cannot be reached is answered at
// once, so only a missing thread leaves the question open. Asked from a
// thread of our own, which stays blocked for good when the answer never comes.
bool dbusThreadRuns(std::chrono::milliseconds limit) {
    auto answered = std::make_shared<std::promise<void>>();
    std::future<void> answer = answered->get_future();
    try {
        std::thread([answered] {
            const QString name = QStringLiteral("lentora-thread-check");
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/dev/null/lentora"), name);
            QDBusConnection::disconnectFromBus(name);
            answered->set_value();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return answer.wait_for(limit) == std::future_status::ready;
}

}  // namespace

platform::Result<> startToolkitThreads(std::chrono::milliseconds limit) {
    const std::string why = " (the limit on this user's processes and threads may be reached)";
    if (!paintingThreadRuns(limit))
        return platform::Failure{"the system did not start a thread to paint the window" + why};
    if (!dbusThreadRuns(limit)) return platform::Failure{"the system did not start the D-Bus connection thread" + why};
    return platform::done();
}

}  // namespace shell
