#pragma once

class QWidget;

// Closes every other visible window of the process (a host's module windows)
// through its own close, so that each asks what it asks before it goes.
// False as soon as one refuses to close: the rest stay open, and so should
// the caller.
bool closeOtherWindows(const QWidget *keep);
