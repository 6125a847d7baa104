#pragma once
#include <QDialog>

class QHBoxLayout;
class QPushButton;

// A dialog the core runs modally. An end that arrives while DoModal prepares the
// run (an event sent at opening) stands and the run returns at once; an end
// between runs is forgotten when the next run begins. Results are
// the core's codes (IDOK, IDCANCEL, ...); Escape and the close box give IDCANCEL
// unless the dialog is one that only the core may end.
class CModalDialog : public QDialog {
 public:
  explicit CModalDialog(bool bOnlyCoreEnds = false, QWidget* parent = nullptr);

  // Shared look: the dialog's standard spacing and a right-aligned button row.
  static QHBoxLayout* ButtonRow();
  static QPushButton* AddButton(QHBoxLayout* row, const QString& text, bool bDefault = false);

 protected:
  // Starts a run: forgets the previous end.
  void BeginRun();
  // Runs the nested loop unless the dialog has already ended; returns the result.
  int RunModal();
  void Finish(int result);
  bool IsEnded() const { return m_bEnded; }
  bool IsRunning() const { return m_bRunning; }

  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool m_bOnlyCoreEnds;
  bool m_bEnded = false;
  bool m_bRunning = false;
  int m_iResult = 0;
};
