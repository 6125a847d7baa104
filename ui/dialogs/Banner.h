#pragma once
#include <QPixmap>
#include <QString>

// The picture at the top of the login dialog: the program folder's file when it
// can be read, else a gradient with the program's name drawn in.
QPixmap LoginBanner(const QString& path, int width, int height);
