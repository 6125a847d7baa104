// Each Qt dialog on its own, through the core's wrappers where the core has one.
#include <gtest/gtest.h>
#include <utime.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <memory>

#include "DialogDriver.h"
#include "eval/EvalDialog.h"
#include "platform/qt/QtFolderChooser.h"
#include "platform/qt/QtMessageLoop.h"
#include "platform/qt/QtText.h"
#include "platform/qt/QtTranslations.h"
#include "prompt/MsgBox.h"
#include "prompt/PromptDialog.h"
#include "ui/dialogs/DownloadProgressDialog.h"
#include "ui/dialogs/EvalDialog.h"
#include "ui/dialogs/InstallDialogs.h"
#include "ui/dialogs/MsgBoxDialog.h"
#include "ui/dialogs/PromptDialog.h"
#include "ui/dialogs/RegLoginWaitDialog.h"
#include "zenuModule/src/desktop/DownloadProgressDialog.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/RegLoginWaitDialog.h"

namespace {

QString Q(const char* gbk) { return QStringFromGBK(gbk); }

void PressKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
}

class QtDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetLoop(&loop);
    InstallQtDialogs();
  }
  void TearDown() override {
    StopDrivers();
    UninstallQtDialogs();
    CPlatform::SetLoop(nullptr);
  }
  CQtMessageLoop loop;
};

QMessageBox* ExpectBox(const char* text, QMessageBox::Icon icon) {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  EXPECT_NE(box, nullptr);
  if (!box) return nullptr;
  EXPECT_EQ(box->text(), Q(text));
  EXPECT_EQ(box->icon(), icon);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Vadeko"));
  return box;
}

}  // namespace

TEST_F(QtDialogsTest, MessageBoxButtonSetsAndResults) {
  WhenShown<QMessageBox>([](QMessageBox* box) {
    if (!ExpectBox("是否将电影推荐给所有粉丝？", QMessageBox::Question)) return;
    EXPECT_EQ(box->buttons().size(), 2);
    ASSERT_NE(box->button(QMessageBox::Yes), nullptr);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    Shot(box, "messagebox_yesno");
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(ShowMessageBox("是否将电影推荐给所有粉丝？", MB_YESNO | MB_ICONQUESTION), IDNO);

  WhenShown<QMessageBox>([](QMessageBox* box) {
    if (!ExpectBox("服务器超时", QMessageBox::Warning)) return;
    PressKey(box, Qt::Key_Escape);
  });
  EXPECT_EQ(ShowMessageBox("服务器超时", MB_OKCANCEL | MB_ICONWARNING), IDCANCEL);

  WhenShown<QMessageBox>([](QMessageBox* box) {
    if (!ExpectBox("a\nb", QMessageBox::Critical)) return;
    EXPECT_EQ(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    PressKey(box, Qt::Key_Escape);
  });
  EXPECT_EQ(ShowMessageBox("a\nb", MB_ICONERROR), IDOK);
}

TEST_F(QtDialogsTest, RatingDialogListsScoresBestFirstAndKeepsTheSelection) {
  WhenShown<CQtEvalDialog>([](CQtEvalDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), Q("评价"));
    EXPECT_EQ(dialog->NameLabel()->text(), Q("阿凡达"));
    EXPECT_EQ(dialog->LineLabel()->text(), Q("为了更好地向您推送，请对已推送电影作出评价!"));
    EXPECT_TRUE(dialog->Radio(2)->isChecked());
    EXPECT_EQ(dialog->Radio(4)->text(), Q("5分，类似的推送更多"));
    EXPECT_EQ(dialog->Radio(0)->text(), Q("1分，类似的不要推送"));
    for (int index = 1; index < 5; ++index)
      EXPECT_LT(dialog->Radio(index)->y(), dialog->Radio(index - 1)->y());
    Shot(dialog, "eval");
    dialog->Radio(3)->click();
    PressKey(dialog->OkButton(), Qt::Key_Return);
  });
  CEvalDialog rating;
  rating.SetRecordName("阿凡达");
  EXPECT_EQ(rating.DoModal(), 4);

  // Closing without "确定" still gives the selected score.
  WhenShown<CQtEvalDialog>([](CQtEvalDialog* dialog) {
    EXPECT_TRUE(dialog->Radio(2)->isChecked());
    dialog->Radio(0)->click();
    PressKey(dialog, Qt::Key_Escape);
  });
  CEvalDialog again;
  EXPECT_EQ(again.DoModal(), 1);
}

TEST_F(QtDialogsTest, PromptDialogResultsFollowTheNotAgainBox) {
  WhenShown<CQtPromptDialog>([](CQtPromptDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), Q("软件使用提示"));
    EXPECT_EQ(dialog->TextLabel()->text(), Q(CPromptDialog::UsageHint()));
    EXPECT_EQ(dialog->CheckBox()->text(), Q("知道了，不再提示"));
    EXPECT_FALSE(dialog->CheckBox()->isChecked());
    Shot(dialog, "prompt");
    dialog->OkButton()->click();
  });
  EXPECT_EQ(CPromptDialog().DoModal(), IDOK);

  WhenShown<CQtPromptDialog>([](CQtPromptDialog* dialog) {
    EXPECT_FALSE(dialog->CheckBox()->isChecked());  // a new showing starts clear
    dialog->CheckBox()->click();
    dialog->OkButton()->click();
  });
  EXPECT_EQ(CPromptDialog().DoModal(), IDCANCEL);

  WhenShown<CQtPromptDialog>([](CQtPromptDialog* dialog) { dialog->close(); });
  EXPECT_NE(CPromptDialog().DoModal(), IDOK);

  WhenShown<CQtMsgBoxDialog>([](CQtMsgBoxDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Dialog"));
    EXPECT_EQ(dialog->TextLabel()->text(), Q("《阿凡达》下载完成"));
    Shot(dialog, "msgbox");
    PressKey(dialog->OkButton(), Qt::Key_Return);
  });
  CMsgBox message;
  message.OnUpdate(0, "《阿凡达》下载完成");
  message.DoModal();
}

TEST_F(QtDialogsTest, WaitingAndDownloadDialogsEndOnlyWhenTheCoreEndsThem) {
  IRegLoginWaitDialog* wait = RegLoginWaitDialog();
  ASSERT_NE(wait, nullptr);
  wait->SetTitle("登录进度");
  wait->SetRange(60);
  wait->SetPos(0);
  wait->SetMaxWaitText("最大等待时间:60秒");
  wait->SetWaitedText("已等待的时间:0秒");
  bool bStillOpen = false;
  WhenShown<CQtRegLoginWaitDialog>([&](CQtRegLoginWaitDialog* dialog) {
    PressKey(dialog, Qt::Key_Escape);
    PressKey(dialog, Qt::Key_Return);
    dialog->close();
    bStillOpen = dialog->isVisible();
    EXPECT_EQ(dialog->windowTitle(), Q("登录进度"));
    dialog->SetWaitedText("已等待的时间:7秒");
    dialog->SetPos(7);
    EXPECT_EQ(dialog->Bar()->maximum(), 60);
    EXPECT_EQ(dialog->Bar()->value(), 7);
    EXPECT_EQ(dialog->MaxWaitLabel()->text(), Q("最大等待时间:60秒"));
    EXPECT_EQ(dialog->WaitedLabel()->text(), Q("已等待的时间:7秒"));
    Shot(dialog, "wait");
    loop.Post([dialog] { dialog->EndDialog(IDOK); });
  });
  EXPECT_EQ(wait->DoModal(), IDOK);
  EXPECT_TRUE(bStillOpen);

  IDownloadProgressDialog* download = DownloadProgressDialog();
  ASSERT_NE(download, nullptr);
  WhenShown<CQtDownloadProgressDialog>([&](CQtDownloadProgressDialog* dialog) {
    PressKey(dialog, Qt::Key_Escape);
    dialog->close();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), Q("下载进度"));
    EXPECT_EQ(dialog->TextLabel()->text(), Q("正在连接下载地址…"));  // never an empty window
    dialog->SetText("文件名:http://127.0.0.1/t.torrent\n下载速度:12.50kB\n下载进度:40.00%\n");
    EXPECT_EQ(dialog->TextLabel()->text(),
              Q("文件名:http://127.0.0.1/t.torrent\n下载速度:12.50kB\n下载进度:40.00%"));
    Shot(dialog, "download");
    loop.StartTimer(77, 30, [&] {
      loop.StopTimer(77);
      download->EndDialog(5);
    });
  });
  EXPECT_EQ(download->DoModal(), 5);

  // An end between runs does not end the next one.
  download->EndDialog(IDOK);
  loop.StartTimer(78, 30, [&] {
    loop.StopTimer(78);
    download->EndDialog(IDCANCEL);
  });
  EXPECT_EQ(download->DoModal(), IDCANCEL);
}

TEST(QtTranslations, QtsOwnButtonsAndTheFolderChooserSpeakChinese) {
  InstallQtTranslations();
  EXPECT_EQ(QLocale().language(), QLocale::Chinese);
  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), Q("取消"));

  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("movies")));
  const QDateTime changed(QDate(2001, 2, 3), QTime(4, 5));
  const QByteArray moviesPath = QFile::encodeName(folder.filePath(QStringLiteral("movies")));
  const struct utimbuf times { changed.toSecsSinceEpoch(), changed.toSecsSinceEpoch() };
  ASSERT_EQ(utime(moviesPath.constData(), &times), 0);

  std::unique_ptr<QFileDialog> chooser(
      CreateFolderChooser(nullptr, Q("请选择需要打包的目录："), folder.path()));
  EXPECT_EQ(chooser->windowTitle(), Q("请选择需要打包的目录："));
  auto* box = chooser->findChild<QDialogButtonBox*>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), Q("取消"));
  auto* lookIn = chooser->findChild<QLabel*>(QStringLiteral("lookInLabel"));
  ASSERT_NE(lookIn, nullptr);
  EXPECT_NE(lookIn->text(), QStringLiteral("Look in:"));

  // The folder's row as the detail view shows it: its kind and its time.
  chooser->setViewMode(QFileDialog::Detail);
  auto* view = chooser->findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_NE(view, nullptr);
  QModelIndex movies;
  QElapsedTimer waited;
  waited.start();
  while (!movies.isValid() && waited.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
      const QModelIndex name = view->model()->index(row, 0, root);
      if (name.data().toString() == QStringLiteral("movies")) movies = name;
    }
  }
  ASSERT_TRUE(movies.isValid());
  EXPECT_EQ(movies.siblingAtColumn(2).data().toString(), Q("文件夹"));
  EXPECT_EQ(movies.siblingAtColumn(3).data().toString(),
            QLocale().toString(changed, QLocale::ShortFormat));
  chooser->resize(640, 400);
  Shot(chooser.get(), "folder-chooser");
}
