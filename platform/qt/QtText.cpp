#include "QtText.h"

#include "zenuModule/src/TextCodec.h"

QString QStringFromGBK(const CString& gbk) { return QString::fromStdString(GBKToUtf8(gbk)); }

CString GBKFromQString(const QString& text) { return Utf8ToGBK(text.toStdString()); }
