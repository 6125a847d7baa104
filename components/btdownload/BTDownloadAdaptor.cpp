#include "BTDownloadAdaptor.h"

#include "BTEngine.h"

namespace {
// Always a decimal point, whatever the process locale says.
QString DecimalText(double value) { return QString::number(value, 'f', 4); }
}  // namespace

CBTDownloadAdaptor::CBTDownloadAdaptor(QObject* parent, CBTEngine& engine)
    : QDBusAbstractAdaptor(parent), m_engine(engine) {}

int CBTDownloadAdaptor::IsRunning() { return m_engine.IsRunning() ? 1 : 0; }

int CBTDownloadAdaptor::StartBT(const QString& args) {
  return m_engine.Start(args.toStdString()) ? 1 : 0;
}

QString CBTDownloadAdaptor::GetDownloadedPercent() { return DecimalText(m_engine.Percent()); }

int CBTDownloadAdaptor::GetLeftTime() { return m_engine.LeftTime(); }

int CBTDownloadAdaptor::GetPeerConnNum() { return m_engine.PeerCount(); }

QString CBTDownloadAdaptor::GetDownloadRate() { return DecimalText(m_engine.RateKB()); }

int CBTDownloadAdaptor::Exit() {
  m_engine.Stop();
  return 0;
}

QString CBTDownloadAdaptor::GetLastError() { return QString::fromStdString(m_engine.LastError()); }

QString CBTDownloadAdaptor::GetOtherRunInfo(const QString& kind) {
  bool ok = false;
  const int value = kind.trimmed().toInt(&ok);
  return ok ? QString::fromStdString(m_engine.OtherRunInfo(value)) : QString();
}
