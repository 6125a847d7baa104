#pragma once

// Qt's own texts (standard buttons, the folder chooser, the web pages' menus)
// in the desktop's Chinese, or in simplified Chinese when the desktop speaks
// another language: the program's own texts are Chinese throughout.
void InstallQtTranslations();
