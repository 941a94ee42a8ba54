#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

namespace celvio {

/// Desktop notifications through the freedesktop notification service
/// (org.freedesktop.Notifications on the session bus). Calls are asynchronous: the
/// application never waits for the service. Without a bus, or when no service owns the
/// name, the fallback shows the text (the tray's message); when the service answers with
/// an error, nothing is shown at all.
class Notifier : public QObject {
    Q_OBJECT

public:
    using Fallback = std::function<void(const QString& title, const QString& body)>;

    explicit Notifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void setFallback(Fallback fallback) { fallback_ = std::move(fallback); }
    void notify(const QString& title, const QString& body);

signals:
    /// The service's answer to one notification arrived, or the fallback was used.
    void delivered();

private:
    void fallBack(const QString& title, const QString& body);

    QDBusConnection bus_;
    Fallback fallback_;
};

}  // namespace celvio
