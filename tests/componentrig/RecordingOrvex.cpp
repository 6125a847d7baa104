#include "tests/componentrig/RecordingOrvex.h"

#include <QDBusConnection>

#include "tests/componentrig/RigBasics.h"

namespace {
int IndexOf(const Json::Value& c) { return c.isObject() ? c.get("INT_CMD_IDX", -1).asInt() : -1; }
}  // namespace

bool CRecordingOrvex::Publish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots) &&
         bus.registerService(QStringLiteral("zenu.Orvex"));
}

void CRecordingOrvex::Unpublish() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(QStringLiteral("zenu.Orvex"));
  bus.unregisterObject(QStringLiteral("/"));
}

int CRecordingOrvex::OnLocalSrvCmd(const QString& json) {
  Json::Value doc;
  if (!ParseJson(json.toStdString(), doc) || !doc.isObject()) {
    doc = Json::Value("unparsable: " + json.toStdString());
    ++iUnparsable;
  }
  commands.push_back(doc);
  return 0;
}

std::vector<int> CRecordingOrvex::Indexes(size_t from) const {
  std::vector<int> out;
  for (size_t i = from; i < commands.size(); ++i) out.push_back(IndexOf(commands[i]));
  return out;
}

std::vector<Json::Value> CRecordingOrvex::Of(int index, size_t from) const {
  std::vector<Json::Value> out;
  for (size_t i = from; i < commands.size(); ++i) {
    if (IndexOf(commands[i]) == index) out.push_back(commands[i]);
  }
  return out;
}

bool CRecordingOrvex::WaitCommand(int index, size_t from, Json::Value& out, int ms) const {
  return WaitFor(
      [&] {
        for (size_t i = from; i < commands.size(); ++i) {
          if (IndexOf(commands[i]) == index) {
            out = commands[i];
            return true;
          }
        }
        return false;
      },
      ms);
}
