#pragma once
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QString>
#include <functional>

// The client that started this component ("--owner NAME"), or empty.
QString OwnerArgument();

// Puts object at "/" (first: a client seeing the name may introspect at once),
// behind a gate that lets only the owner call it when there is one,
// arranges for onOwnerGone when the owner leaves the bus (no component may
// outlive the client that started it), then takes the bus name.
// Returns -1 when the component should run, otherwise the exit code to end with.
int PublishComponent(QDBusConnection& bus, QObject* object, const QString& name,
                     const QString& owner, QDBusServiceWatcher& watcher,
                     const std::function<void()>& onOwnerGone);
