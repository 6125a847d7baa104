#pragma once
#include <json/value.h>

#include "zenuModule/src/Types.h"

// The evaluation service as the local server's rating commands reach it.
class IEvalService {
 public:
  virtual ~IEvalService() = default;
  // pDoc: the whole command document, or null.
  virtual void EvalRecord(RecordGID ulGID, int iEval, int iFlag, const Json::Value* pDoc) = 0;
};
