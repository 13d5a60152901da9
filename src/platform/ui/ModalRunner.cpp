#include "platform/ui/ModalRunner.h"

#include "platform/ui/FileDialogs.h"

#include <QDialog>

namespace {
ModalRunner::Driver g_driver;
}

int ModalRunner::exec(QDialog *dialog)
{
    // No dialog may read the files it lists (see FileDialogs), nor one that
    // Qt opens from inside it.
    FileDialogs::guardProcess();
    FileDialogs::guard(dialog);
    if (g_driver)
        return g_driver(dialog);
    return dialog->exec();
}

void ModalRunner::setDriver(Driver driver)
{
    g_driver = std::move(driver);
}
