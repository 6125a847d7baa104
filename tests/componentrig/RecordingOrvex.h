#pragma once
#include <json/value.h>

#include <QObject>
#include <QString>
#include <vector>

// The client's automation object as the component sees it: owns "zenu.Orvex"
// and records every command document it receives, in order.
class CRecordingOrvex final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "zenu.Orvex")

 public:
  bool Publish();
  void Unpublish();

  // A document that is not a JSON object is kept as the string
  // "unparsable: <text>" and counted in iUnparsable.
  std::vector<Json::Value> commands;
  int iUnparsable = 0;

  // The command index of each document from position `from` on (-1 if none).
  std::vector<int> Indexes(size_t from = 0) const;
  // The documents of one command index, from position `from` on.
  std::vector<Json::Value> Of(int index, size_t from = 0) const;
  // Waits on the Qt loop for the first command of this index from `from` on.
  bool WaitCommand(int index, size_t from, Json::Value& out, int ms = 15000) const;

 public Q_SLOTS:
  int OnLocalSrvCmd(const QString& json);
};
