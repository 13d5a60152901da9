#include "platform/ui/WidgetPicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

bool saveWidgetPicture(QWidget *widget, const QString &folder, const QString &name)
{
    // Let the widget lay itself out and paint before it is grabbed.
    QCoreApplication::processEvents();
    QEventLoop wait;
    QTimer::singleShot(150, &wait, &QEventLoop::quit);
    wait.exec();
    return widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}
