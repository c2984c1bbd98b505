#pragma once

class DesktopOpener;
class QWidget;

// Whenever `opener` could not open something (no program for it, or one that failed), says
// so in a warning box over `parent`.
void warnWhenOpenFails(DesktopOpener& opener, QWidget* parent);
