#include "OrvexClient.h"

#include <json/writer.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>
#include <QThread>
#include <cstdio>

#include "ComponentBus.h"

COrvexClient::COrvexClient(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), m_connection(connection), m_destination(OwnerArgument()) {
  // Started by hand: whoever owns the client's name.
  if (m_destination.isEmpty()) m_destination = QStringLiteral("zenu.Orvex");
}

void COrvexClient::SendCommand(const Json::Value& document) {
  // Page and task handlers run on HTTP worker threads; the bus calls and their
  // watchers belong to this object's thread.
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(this, [this, document] { SendCommand(document); },
                              Qt::QueuedConnection);
    return;
  }
  // ASCII only: the client reads non-ASCII members through their \u escapes as
  // UTF-8, which is what commands 2 and 37 expect.
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "   ";
  const std::string text = Json::writeString(builder, document);
  QDBusMessage call =
      QDBusMessage::createMethodCall(m_destination, QStringLiteral("/"),
                                     QStringLiteral("zenu.Orvex"), QStringLiteral("OnLocalSrvCmd"));
  call << QString::fromStdString(text);
  call.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
  const int index = document.get("INT_CMD_IDX", 0).asInt();
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                   [index](QDBusPendingCallWatcher* done) {
                     if (done->isError()) {
                       std::fprintf(stderr, "zenu-localserver: command %d to the client: %s\n",
                                    index, done->error().message().toLocal8Bit().constData());
                     }
                     done->deleteLater();
                   });
}

void COrvexClient::ReportRemoteHost(const std::string& host) {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 200;
  cmd["STR_IP"] = host;
  SendCommand(cmd);
}

void COrvexClient::ReportReady() {
  Json::Value cmd(Json::objectValue);
  cmd["INT_CMD_IDX"] = 100;
  SendCommand(cmd);
}
