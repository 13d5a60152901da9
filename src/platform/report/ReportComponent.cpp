#include "platform/report/ReportComponent.h"

#include "platform/core/ErpError.h"
#include "platform/db/Connection.h"

namespace report {

namespace {
QString &pdfPath()
{
    static QString path;
    return path;
}
} // namespace

void setPdfOutput(const QString &path)
{
    pdfPath() = path;
}

QString pdfOutput()
{
    return pdfPath();
}

ReportComponent::ReportComponent(const QString &appPath, QWidget *dialogParent)
    : m_appPath(appPath), m_dialogParent(dialogParent)
{}

ReportComponent::~ReportComponent() = default;

void ReportComponent::rptPrint(Connection &, const QString &reportCode, QObject *, const QString &, bool,
                               const ResultSet *rows, const std::optional<QString> &sql, const QVariant &,
                               const QString &)
{
    if (!rows && (!sql || sql->trimmed().isEmpty()))
        return;
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("ReportComponent"),
                   QStringLiteral("报表 %1 无法打印: 报表组件尚未完成").arg(reportCode));
}

} // namespace report
