#pragma once

class QUrl;
class QWidget;

// Asks the desktop to open `url`; when nothing can (no browser, mail program or opener
// installed), says so in a warning box over `parent`.
void openUrlOrWarn(QWidget* parent, const QUrl& url);
