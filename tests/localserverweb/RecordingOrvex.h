#pragma once
#include <json/value.h>

#include <QObject>
#include <QString>
#include <vector>

// Plays the client's automation object "zenu.Orvex": keeps every command
// document the component sends.
class CRecordingOrvex final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.Orvex")

 public:
  std::vector<Json::Value> commands;
  int iUnparsable = 0;

  // Commands with this index, oldest first.
  std::vector<Json::Value> WithIndex(int index) const;

 public Q_SLOTS:
  int OnLocalSrvCmd(const QString& json);
};
