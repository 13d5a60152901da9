#include "platform/ui/ModalRunner.h"

#include <QDialog>

namespace {
ModalRunner::Driver g_driver;
}

int ModalRunner::exec(QDialog *dialog)
{
    if (g_driver)
        return g_driver(dialog);
    return dialog->exec();
}

void ModalRunner::setDriver(Driver driver)
{
    g_driver = std::move(driver);
}
