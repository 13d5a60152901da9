#include "platform/ui/WindowClosing.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

bool closeOtherWindows(const QWidget *keep)
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != keep && w->isVisible() && w->isWindow() && !(w->windowType() == Qt::Popup) &&
            !(w->windowType() == Qt::ToolTip))
            windows << w;
    for (const QPointer<QWidget> &w : std::as_const(windows))
        if (w && w->isVisible() && !w->close())
            return false;
    return true;
}
