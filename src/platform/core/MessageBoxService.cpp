#include "platform/core/MessageBoxService.h"

#include <QDebug>

namespace {

class LoggingMessageBoxService final : public MessageBoxService
{
public:
    int show(const MessageRequest &r) override
    {
        qWarning().noquote() << "[message]" << r.form << r.messageId << r.title << r.text;
        return defaultAnswer(r.style);
    }
};

LoggingMessageBoxService g_logging;
MessageBoxService *g_installed = nullptr;

} // namespace

MessageBoxService &MessageBoxService::instance()
{
    return g_installed ? *g_installed : static_cast<MessageBoxService &>(g_logging);
}

void MessageBoxService::install(MessageBoxService *service)
{
    g_installed = service;
}

bool MessageBoxService::isInstalled()
{
    return g_installed != nullptr;
}

int MessageBoxService::defaultAnswer(int style)
{
    const bool second = (style & 256) != 0;
    switch (style & 7) {
    case 1:
        return second ? MessageAnswer::Cancel : MessageAnswer::Ok; // OK / Cancel
    case 3:
        return second ? MessageAnswer::No : MessageAnswer::Yes; // Yes / No / Cancel
    case 4:
        return second ? MessageAnswer::No : MessageAnswer::Yes; // Yes / No
    case 5:
        return second ? MessageAnswer::Cancel : 4; // Retry / Cancel
    default:
        return MessageAnswer::Ok;
    }
}
