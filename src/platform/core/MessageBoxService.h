#pragma once

#include <QString>

// Every message box of the module passes through here, addressed by the form
// and message id it was shown under. The widget layer installs a service that
// shows real boxes; tests install one that records and answers from a script.
struct MessageRequest
{
    QString form;
    QString messageId;
    QString text;
    int style = 0; // 0 OK, 1 OK/Cancel, 4 Yes/No, 3 Yes/No/Cancel; +16/32/48/64 icon; +256 second default
    QString title;
};

// The styles the module's prompts use, as the flags above add up.
namespace MessageStyle {
constexpr int Ok = 0;                       // shown as 64 by the messages of the module
constexpr int OkCancelInformation = 65;     // 1 + 64
constexpr int YesNoQuestion = 36;           // 4 + 32
constexpr int YesNoQuestionSecond = 292;    // 4 + 32 + 256
constexpr int YesNoInformationSecond = 324; // 4 + 64 + 256
constexpr int Information = 64;
} // namespace MessageStyle

namespace MessageAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MessageAnswer

class MessageBoxService
{
public:
    virtual ~MessageBoxService() = default;
    virtual int show(const MessageRequest &request) = 0;

    // The service in force (never null). Without an installed one, messages
    // are written to the log and answered with the default button.
    static MessageBoxService &instance();
    static void install(MessageBoxService *service); // not owned; nullptr restores the default
    static bool isInstalled();

    // The answer of the default button of a style: the first, or the second
    // when 256 is set.
    static int defaultAnswer(int style);
};
