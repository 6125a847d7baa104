#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// Qt's own folder chooser rather than the desktop's, so that it follows the
// program's Chinese: its labels come from the installed translations and the
// times of the folders are written in the program's locale, not the system's.
QFileDialog* CreateFolderChooser(QWidget* parent, const QString& title, const QString& start);

// Empty when the user cancels.
QString ChooseFolder(QWidget* parent, const QString& title, const QString& start);
