#include "documents/DocumentKind.h"

const DocumentKind &DocumentKind::issue()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_1"), QStringLiteral("mmss40B"), QStringLiteral("生产领料单"),
                                QStringLiteral("1"), QStringLiteral("40B"), 0};
    return k;
}

const DocumentKind &DocumentKind::materialReturn()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_3"), QStringLiteral("mmss40C"), QStringLiteral("生产退料单"),
                                QStringLiteral("2"), QStringLiteral("40C"), 1};
    return k;
}

const DocumentKind &DocumentKind::supplementary()
{
    static const DocumentKind k{QStringLiteral("MENU_F4_2"), QStringLiteral("mmss40D"), QStringLiteral("生产补料单"),
                                QStringLiteral("3"), QStringLiteral("40D"), 2};
    return k;
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
