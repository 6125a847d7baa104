#pragma once
#include <functional>

#include "zenuModule/src/ProgramException.h"

// The error text an operation raised ("" when it raised nothing); frees the error.
inline CString RaisedText(const std::function<void()>& body) {
  try {
    body();
  } catch (CProgramException* e) {
    const CString text = e->GetError();
    e->Delete();
    return text;
  }
  return CString();
}
