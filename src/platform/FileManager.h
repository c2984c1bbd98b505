#pragma once

#include <QString>

// Shows a file selected in the desktop's file manager; falls back to opening its folder.
// A path that does not exist does nothing. Answers whether something was shown.
bool showInFileManager(const QString& path);
