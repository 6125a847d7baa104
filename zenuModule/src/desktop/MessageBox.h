#pragma once
#include "../Types.h"

// Button and result codes keep their Windows values: callers compare against them.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // text is GBK; returns the button pressed.
  virtual int Show(const CString& text, unsigned type) = 0;
};
