#include "shell/single_instance.hpp"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace celvio {

namespace {

constexpr char request[] = "activate\n";
constexpr char reply[] = "shown\n";

}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent),
      socketPath_(QDir(folder).filePath("celvio.socket")),
      lock_(QDir(folder).filePath("celvio.lock")) {
    // Only a dead owner makes the lock stale (QLockFile checks its PID), never the lock's age:
    // the first instance may run for weeks.
    lock_.setStaleLockTime(0);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::serve);
}

SingleInstance::~SingleInstance() { server_.close(); }

QString SingleInstance::defaultFolder() {
    // $XDG_RUNTIME_DIR, private to the user; Qt makes a 0700 fallback folder without it.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

bool SingleInstance::claim() {
    if (!lock_.tryLock(0)) return false;
    // Holding the lock, whatever socket is there was left by a process that is gone.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socketPath_);
    return true;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    // The running instance may have the lock but not be listening yet: try again briefly.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(request);
            if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
            QByteArray answer;
            while (!answer.endsWith('\n') && socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                answer += socket.readAll();
            return answer == reply;
        }
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::serve() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) return;
            if (socket->readLine() == request) {
                emit activationRequested();
                socket->write(reply);
            }
            socket->disconnectFromServer();
        });
    }
}

}  // namespace celvio
