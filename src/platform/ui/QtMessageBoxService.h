#pragma once

#include "platform/core/MessageBoxService.h"

// Shows real message boxes: buttons, icon and default button from the style flags.
class QtMessageBoxService final : public MessageBoxService
{
public:
    int show(const MessageRequest &request) override;
    // Installs this service unless another one (a test's) is already in force.
    static void installIfNone();
};
