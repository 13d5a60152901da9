#include "platform/ui/QtMessageBoxService.h"

#include "platform/ui/ModalRunner.h"

#include <QApplication>
#include <QMessageBox>

namespace {
QtMessageBoxService g_service;
}

int QtMessageBoxService::show(const MessageRequest &r)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(r.title);
    box.setText(r.text);
    switch (r.style & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    QList<QPair<QMessageBox::StandardButton, int>> buttons;
    switch (r.style & 7) {
    case 1:
        buttons = {{QMessageBox::Ok, MessageAnswer::Ok}, {QMessageBox::Cancel, MessageAnswer::Cancel}};
        break;
    case 3:
        buttons = {{QMessageBox::Yes, MessageAnswer::Yes},
                   {QMessageBox::No, MessageAnswer::No},
                   {QMessageBox::Cancel, MessageAnswer::Cancel}};
        break;
    case 4:
        buttons = {{QMessageBox::Yes, MessageAnswer::Yes}, {QMessageBox::No, MessageAnswer::No}};
        break;
    case 5:
        buttons = {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, MessageAnswer::Cancel}};
        break;
    default:
        buttons = {{QMessageBox::Ok, MessageAnswer::Ok}};
        break;
    }
    for (const auto &b : buttons)
        box.addButton(b.first);
    const int defaultIndex = (r.style & 256) && buttons.size() > 1 ? 1 : 0;
    box.setDefaultButton(buttons.at(defaultIndex).first);
    const int result = ModalRunner::exec(&box);
    for (const auto &b : buttons)
        if (b.first == result)
            return b.second;
    // Closed with Esc or the close box: the cancelling answer where there is one.
    return (r.style & 7) == 4 ? MessageAnswer::No : (r.style & 7) == 0 ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void QtMessageBoxService::installIfNone()
{
    if (!MessageBoxService::isInstalled())
        MessageBoxService::install(&g_service);
}
