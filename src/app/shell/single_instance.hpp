#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace celvio {

/// One running Celvio per user, so two processes never write the same history file. The
/// first process holds a lock file and listens on a local socket, both in the user's runtime
/// folder; a later one asks it to come to the front and then exits.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    /// `folder`: where the lock and the socket live (the user's runtime folder by default).
    explicit SingleInstance(const QString& folder = defaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    /// True when no other instance runs: this one takes the lock and starts listening.
    bool claim();
    /// Asks the running instance to show its window; true once it has confirmed.
    bool activateRunning(int timeoutMs = 3000);

    static QString defaultFolder();

signals:
    /// A later launch asked this instance to come to the front.
    void activationRequested();

private:
    void serve();

    QString socketPath_;
    QLockFile lock_;
    QLocalServer server_;
};

}  // namespace celvio
