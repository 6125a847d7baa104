#pragma once
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Acts inside a running modal dialog: once the top modal window is a T, runs fn on
// it (one time) from the event loop, as a user would.
template <class T>
void WhenShown(std::function<void(T*)> fn) {
  auto* poll = new QTimer(qApp);
  poll->setObjectName(QStringLiteral("dialogDriver"));
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, fn] {
    T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    fn(dialog);
  });
  poll->start();
}

// Drops the actions whose dialog never came, so they cannot act in a later test.
inline void StopDrivers() {
  for (QTimer* poll : qApp->findChildren<QTimer*>(QStringLiteral("dialogDriver"),
                                                  Qt::FindDirectChildrenOnly))
    delete poll;
}

// Keeps a picture of the dialog for a look by eye.
inline void Shot(QWidget* widget, const char* name) {
  QDir().mkpath(QStringLiteral("/tmp/dialogs"));
  widget->grab().save(QStringLiteral("/tmp/dialogs/%1.png").arg(QString::fromLatin1(name)));
}
