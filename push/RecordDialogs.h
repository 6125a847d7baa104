#pragma once
#include <vector>

#include "zenuModule/src/Types.h"

// "删除电影提示": asks before records are deleted; OK reports the state of
// "同时删除已下载文件" to the push engine.
class CDeleteTaskDialog final {
 public:
  // Kind 0 sets the question; other kinds change nothing.
  void OnUpdate(int iKind, const CString& strQuestion);
  // IDOK or IDCANCEL; without a UI the question is answered with cancel.
  int DoModal();

 private:
  CString m_strQuestion;
};

// "请选择播放文件": the movie files of one record; OK reports the chosen name.
class CSelectFileDlg final {
 public:
  // Kind 0 sets the movie and its file names; other kinds change nothing.
  void OnUpdate(int iKind, RecordGID ulGID, const std::vector<CString>& arrFiles);
  int DoModal();

 private:
  RecordGID m_ulGID = 0;
  std::vector<CString> m_arrFiles;
};
