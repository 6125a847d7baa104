#pragma once
#include <QDBusAbstractAdaptor>
#include <QString>

class CBTShare;

// The sharing mode's interface on the bus.
class CBTShareAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.BTShare")

 public:
  CBTShareAdaptor(QObject* parent, CBTShare& share);

 public Q_SLOTS:
  int Share(uint gid, const QString& args);
  int Unshare(uint gid);
  int SetUploadLimit(int kbps);
  int SetMaxShared(int count);
  // "<count> <upload KB/s>", e.g. "3 512.0".
  QString GetShareStatus();
  QString GetLastError();
  // Closes every shared file, then ends the process.
  int Exit();

 private:
  CBTShare& m_share;
};
