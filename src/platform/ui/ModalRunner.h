#pragma once

#include <functional>

class QDialog;

// Every modal dialog of the module is run through here, so that a test can
// drive a dialog (fill it, press its buttons) instead of blocking in exec().
// Every file dialog and file list inside it is guarded (FileDialogs::guard).
class ModalRunner
{
public:
    using Driver = std::function<int(QDialog *)>;

    static int exec(QDialog *dialog);
    // Installs a driver that is handed each dialog in turn instead of exec();
    // an empty driver restores real modal loops.
    static void setDriver(Driver driver);
};
