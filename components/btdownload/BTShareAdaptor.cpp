#include "BTShareAdaptor.h"

#include <QCoreApplication>
#include <QTimer>

#include "BTShare.h"

CBTShareAdaptor::CBTShareAdaptor(QObject* parent, CBTShare& share)
    : QDBusAbstractAdaptor(parent), m_share(share) {}

int CBTShareAdaptor::Share(uint gid, const QString& args) {
  return m_share.Share(gid, args.toStdString()) ? 0 : -1;
}

int CBTShareAdaptor::Unshare(uint gid) { return m_share.Unshare(gid) ? 0 : -1; }

int CBTShareAdaptor::SetUploadLimit(int kbps) { return m_share.SetUploadLimit(kbps) ? 0 : -1; }

int CBTShareAdaptor::SetMaxShared(int count) { return m_share.SetMaxShared(count) ? 0 : -1; }

QString CBTShareAdaptor::GetShareStatus() {
  // Always a decimal point, whatever the process locale says.
  return QString::number(m_share.SharedCount()) + QLatin1Char(' ') +
         QString::number(static_cast<double>(m_share.UploadRate()) / 1024.0, 'f', 1);
}

QString CBTShareAdaptor::GetLastError() { return QString::fromStdString(m_share.LastError()); }

int CBTShareAdaptor::Exit() {
  m_share.UnshareAll();
  // After the answer has gone out.
  QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
  return 0;
}
