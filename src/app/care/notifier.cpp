#include "care/notifier.hpp"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace celvio {

namespace {

const QString kService = "org.freedesktop.Notifications";
// Long enough for a busy desktop, short enough that a hung service frees its call.
constexpr int kTimeoutMs = 10'000;

}  // namespace

Notifier::Notifier(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

void Notifier::notify(const QString& title, const QString& body) {
    if (!bus_.isConnected()) {
        fallBack(title, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications", kService, "Notify");
    call << QString("Celvio") << 0u << QString("celvio") << title << body << QStringList() << QVariantMap()
         << -1;
    // The watcher belongs to this object and goes once the answer is in.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, body](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusError::ErrorType error = done->isError() ? done->error().type() : QDBusError::NoError;
        // Nobody owns the name: there is no service to answer. Any other error is the
        // service's own answer, and the user is spared a second way of telling.
        if (error == QDBusError::ServiceUnknown || error == QDBusError::Disconnected) {
            fallBack(title, body);
            return;
        }
        emit delivered();
    });
}

void Notifier::fallBack(const QString& title, const QString& body) {
    if (fallback_) fallback_(title, body);
    emit delivered();
}

}  // namespace celvio
