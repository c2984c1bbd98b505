#pragma once

// Qt's own messages in a run without a window (the toolkit's warnings, the producers' error
// log): held from the start until the options are read, then written with --verbose and
// dropped without, so that standard error carries the run's own lines only. A fatal message
// is always written.
class BatchMessages
{
public:
    // Before the application object, which may already warn.
    static void hold();
    // Writes what was held and lets later messages through, or drops both.
    static void release(bool show);
};
