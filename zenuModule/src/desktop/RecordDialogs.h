#pragma once
#include <vector>

#include "../Types.h"

// "删除电影提示": the question, OK "确定", Cancel "取消" and the box
// "同时删除已下载文件", ticked each time the dialog opens.
class IDeleteTaskDialog {
 public:
  virtual ~IDeleteTaskDialog() = default;
  // IDOK or IDCANCEL; *pbDeleteFiles receives the box's state when OK closed it.
  virtual int DoModal(const CString& strQuestion, int* pbDeleteFiles) = 0;
};

// "请选择播放文件": the file names in the given order, OK and Cancel.
class ISelectFileDialog {
 public:
  virtual ~ISelectFileDialog() = default;
  // IDOK or IDCANCEL; on OK strChosen is the selected name (empty when none is).
  virtual int DoModal(const std::vector<CString>& arrNames, CString& strChosen) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IDeleteTaskDialog* DeleteTaskDialog();
void SetDeleteTaskDialog(IDeleteTaskDialog* dialog);
ISelectFileDialog* SelectFileDialog();
void SetSelectFileDialog(ISelectFileDialog* dialog);
