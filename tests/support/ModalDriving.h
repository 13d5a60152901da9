#pragma once

// Runs a dialog modally as a user meets it: shown and on screen, then act
// does what the user does. Answers -1 when the dialog never appears.
// stillOpen tells whether act left the dialog open.
#include "platform/ui/ModalRunner.h"

#include <QDialog>
#include <QTest>

#include <functional>

inline int runModal(QDialog &dialog, const std::function<void(QDialog *)> &act, bool *stillOpen = nullptr)
{
    ModalRunner::setDriver([&](QDialog *d) {
        d->show();
        if (!QTest::qWaitForWindowExposed(d))
            return -1;
        act(d);
        if (stillOpen)
            *stillOpen = d->isVisible();
        return d->result();
    });
    const int r = ModalRunner::exec(&dialog);
    ModalRunner::setDriver({});
    return r;
}
