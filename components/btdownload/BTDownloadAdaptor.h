#pragma once
#include <QDBusAbstractAdaptor>
#include <QString>

class CBTEngine;

// The component's interface on the bus. The client's automation layer reads
// 32-bit integers and texts, so the two fractional figures travel as decimal
// text ("42.5") and the information kind arrives as its decimal text.
class CBTDownloadAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.BTDownload")

 public:
  CBTDownloadAdaptor(QObject* parent, CBTEngine& engine);

 public Q_SLOTS:
  int IsRunning();
  int StartBT(const QString& args);
  QString GetDownloadedPercent();
  int GetLeftTime();
  int GetPeerConnNum();
  QString GetDownloadRate();
  int Exit();
  QString GetLastError();
  QString GetOtherRunInfo(const QString& kind);

 private:
  CBTEngine& m_engine;
};
