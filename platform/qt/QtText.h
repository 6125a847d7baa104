#pragma once
#include <QString>

#include "zenuModule/src/Types.h"

// The core's GBK text at the Qt edge.
QString QStringFromGBK(const CString& gbk);
CString GBKFromQString(const QString& text);
