#include "documents/DocumentKind.h"

const DocumentKind &DocumentKind::issue()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_1"), QStringLiteral("mmss40B"), QStringLiteral("生产领料单"),
                                DocumentType::Issue, QStringLiteral("40B")};
    return k;
}

const DocumentKind &DocumentKind::materialReturn()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_3"), QStringLiteral("mmss40C"), QStringLiteral("生产退料单"),
                                DocumentType::Return, QStringLiteral("40C")};
    return k;
}

const DocumentKind &DocumentKind::supplementary()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_2"), QStringLiteral("mmss40D"), QStringLiteral("生产补料单"),
                                DocumentType::Supplementary, QStringLiteral("40D")};
    return k;
}

const DocumentKind &DocumentKind::of(DocumentType type)
{
    switch (type) {
    case DocumentType::Return:
        return materialReturn();
    case DocumentType::Supplementary:
        return supplementary();
    case DocumentType::Issue:
        break;
    }
    return issue();
}

const DocumentKind *DocumentKind::forMenu(const QString &menuId)
{
    const QString upper = menuId.toUpper();
    if (upper == issue().menuId)
        return &issue();
    if (upper == supplementary().menuId)
        return &supplementary();
    if (upper == materialReturn().menuId)
        return &materialReturn();
    return nullptr;
}
