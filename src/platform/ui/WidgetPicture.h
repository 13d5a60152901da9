#pragma once

#include <QString>

class QWidget;

// Saves what a widget shows as FOLDER/NAME.png, once it has laid itself out
// and painted. For screenshots of windows and dialogs.
bool saveWidgetPicture(QWidget *widget, const QString &folder, const QString &name);
