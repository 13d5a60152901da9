#include "services/DocumentState.h"

DocumentStatus parseDocumentStatus(const QString &code)
{
    if (code == QLatin1String("0"))
        return DocumentStatus::Open;
    if (code == QLatin1String("2"))
        return DocumentStatus::Approved;
    if (code == QLatin1String("6") || code == QLatin1String("7"))
        return DocumentStatus::Closed;
    if (code == QLatin1String("9"))
        return DocumentStatus::Gone;
    return DocumentStatus::Other;
}

QString documentStatusCode(DocumentStatus status)
{
    switch (status) {
    case DocumentStatus::Open:
        return QStringLiteral("0");
    case DocumentStatus::Approved:
        return QStringLiteral("2");
    case DocumentStatus::Closed:
        return QStringLiteral("6");
    case DocumentStatus::Gone:
        return QStringLiteral("9");
    case DocumentStatus::Other:
        break;
    }
    return {};
}

QString invTypeCode(DocumentType type)
{
    switch (type) {
    case DocumentType::Issue:
        return QStringLiteral("1");
    case DocumentType::Return:
        return QStringLiteral("2");
    case DocumentType::Supplementary:
        return QStringLiteral("3");
    }
    return QStringLiteral("1");
}

std::optional<Refusal> gateRefusal(StatusGate gate, DocumentStatus status)
{
    const auto refused = [](const char *text) {
        return Refusal{QStringLiteral("Check_OK_1"), QString::fromUtf8(text)};
    };
    using Ds = DocumentStatus;
    switch (gate) {
    case StatusGate::Change:
        if (status == Ds::Approved)
            return refused("此单已审核, 不能进行修改!");
        if (status == Ds::Closed)
            return refused("此单已结案, 不能进行修改!");
        if (status == Ds::Gone)
            return refused("此单已被他人删除!");
        return std::nullopt;
    case StatusGate::Save:
        if (status != Ds::Open)
            return refused("此单已审核, 当前操作不能进行!");
        return std::nullopt;
    case StatusGate::Approve:
    case StatusGate::Reset:
        if (status == Ds::Gone)
            return refused("当前单据已被其他用户删除,请检查!");
        if (status == Ds::Closed)
            return refused("此单据已被结案,不能再进行操作!");
        if (gate == StatusGate::Approve && status == Ds::Approved)
            return refused("此单据已被审核,不能再审核!");
        if (gate == StatusGate::Reset && status == Ds::Open)
            return refused("此单据已被其他用户重置,不能再重置!");
        return std::nullopt;
    }
    return std::nullopt;
}

QString notOpenText(const QString &status)
{
    if (const auto r = gateRefusal(StatusGate::Change, parseDocumentStatus(status)))
        return r->text;
    return gateRefusal(StatusGate::Save, DocumentStatus::Other)->text;
}
