#include "PortSelect.h"

#include "settings/ConfigDoc.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PortSelect.h"

int CPortSelect::LoadPort() {
  OP_BEGIN("CPortSelect::LoadPort")
  const int port = CConfigDoc::GetInstance()->GetPort();
  ZTRACE(1, zenuOpName_, "BT下载端口:%d", port);
  return port;
  OP_END
}

void CPortSelect::SavePort(int port) {
  OP_BEGIN("CPortSelect::SavePort")
  CConfigDoc* config = CConfigDoc::GetInstance();
  config->SetPort(port);
  config->SaveConfig();
  OP_END
}

int CPortSelect::GetListenPort(int type) {
  OP_BEGIN("CPortSelect::GetListenPort")
  const int port = DetectAndSelectPort(LoadPort(), type);
  if (port == 0) return 0;
  SavePort(port);
  return port;
  OP_END
}
