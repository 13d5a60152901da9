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
