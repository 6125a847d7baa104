#pragma once

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

// Every page of the program comes from one local origin and a few local files:
// one renderer process and one in-memory profile serve them all.

// Chromium's switches for the run; call before the application object exists.
void PrepareWebEngine();
// The profile of every page: nothing is kept on disk.
QWebEngineProfile* SharedWebProfile();
// A view on the shared profile whose page is unloaded while the view is hidden
// (and loaded again when it is shown).
QWebEngineView* CreateWebView(QWidget* parent = nullptr);
// The same for a view made elsewhere: page null gives a plain page on the
// shared profile; a given page must have been made on it.
void AdoptWebView(QWebEngineView* view, QWebEnginePage* page = nullptr);
