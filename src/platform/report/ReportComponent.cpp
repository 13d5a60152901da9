#include "platform/report/ReportComponent.h"

#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/db/Connection.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportLayout.h"
#include "platform/report/ReportPages.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/ModalRunner.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QToolBar>

namespace report {

namespace {

const QString kSource = QStringLiteral("ReportComponent");

QString &pdfPath()
{
    static QString path;
    return path;
}

[[noreturn]] void fail(const QString &what)
{
    throw ErpError(ErpErrorNumber::GenericProvider, kSource, what);
}

// Runs a report's statement so that it cannot change anything: inside a
// transaction the server keeps read-only where it can, rolled back in any case.
ResultSet selectReadOnly(const Connection &conn, const QString &sql)
{
    const Dialect &d = conn.dialect();
    Transaction t(conn, Transaction::Read);
    if (!d.readOnlyOn().isEmpty())
        Sql(conn, d.readOnlyOn()).exec();
    ResultSet rows;
    try {
        rows = Sql(conn, sql).select();
    } catch (...) {
        if (!d.readOnlyOff().isEmpty()) {
            try {
                Sql(conn, d.readOnlyOff()).exec();
            } catch (...) {
            }
        }
        throw;
    }
    if (!d.readOnlyOff().isEmpty())
        Sql(conn, d.readOnlyOff()).exec();
    t.rollback();
    return rows;
}

// The caption of a report code from its definitions, when they agree on one.
QString storedCaption(const Connection &conn, const QString &reportCode)
{
    if (!conn.isValid() || !conn.isOpen())
        return reportCode;
    try {
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT DISTINCT report_caption FROM mmstc111 WHERE Report_Name = ?"))
                .bind(reportCode)
                .select();
        if (rs.rowCount() == 1 && !rs.text(0, 0).isEmpty())
            return rs.text(0, 0);
    } catch (const ErpError &) {
        // A database without report definitions prints under the code.
    }
    return reportCode;
}

void writePdf(const ReportPages &pages, const QString &path)
{
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly))
        fail(QStringLiteral("无法写入 PDF 文件 %1: %2").arg(path, probe.errorString()));
    probe.close();
    QPdfWriter writer(path);
    writer.setResolution(300);
    writer.setPageLayout(pages.pageLayout());
    writer.setTitle(pages.layout().caption);
    writer.setCreator(QStringLiteral("BarManu"));
    if (!pages.paintAll(&writer))
        fail(QStringLiteral("无法写入 PDF 文件 %1").arg(path));
}

enum class Painted { All, Cancelled, Failed };

// Paints on a printer (or the preview's pages) with a progress window that
// shows after a moment and lets the user stop a long report.
Painted paintWithProgress(const ReportPages &pages, QPrinter *printer, QWidget *parent)
{
    QProgressDialog progress(QStringLiteral("正在排版报表 %1 ...").arg(pages.layout().caption), QStringLiteral("取消"),
                             0, pages.pageCount(), parent);
    progress.setWindowTitle(QStringLiteral("报表"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    const bool done = pages.paintAll(printer, [&progress](int page, int) {
        progress.setValue(page);
        return !progress.wasCanceled();
    });
    const bool cancelled = progress.wasCanceled();
    progress.setValue(pages.pageCount());
    return done ? Painted::All : cancelled ? Painted::Cancelled : Painted::Failed;
}

void preparePrinter(QPrinter &printer, const ReportPages &pages)
{
    printer.setFullPage(true);
    printer.setPageLayout(pages.pageLayout());
    printer.setDocName(pages.layout().caption);
}

void print(const ReportPages &pages, bool withoutDialog, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer, pages);
    if (!withoutDialog) {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("打印 %1").arg(pages.layout().caption));
        if (ModalRunner::exec(&dialog) != QDialog::Accepted)
            return;
    }
    // A stop asked for by the user is no failure; a printer that refuses is.
    if (paintWithProgress(pages, &printer, parent) == Painted::Failed)
        fail(QStringLiteral("打印报表 %1 失败").arg(pages.layout().caption));
}

void preview(const ReportPages &pages, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer, pages);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("ReportPreview"));
    dialog.setWindowTitle(QStringLiteral("打印预览 - %1").arg(pages.layout().caption));
    dialog.resize(900, 1000);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&pages, &dialog](QPrinter *target) { paintWithProgress(pages, target, &dialog); });
    if (QToolBar *bar = dialog.findChild<QToolBar *>()) {
        QAction *save = bar->addAction(QStringLiteral("保存为PDF"));
        save->setObjectName(QStringLiteral("SavePdf"));
        QObject::connect(save, &QAction::triggered, &dialog, [&pages, &dialog] {
            QFileDialog files(&dialog, QStringLiteral("保存为PDF"));
            FileDialogs::prepare(files);
            files.setNameFilter(QStringLiteral("PDF (*.pdf)"));
            files.setObjectName(QStringLiteral("SavePdfDialog"));
            files.setAcceptMode(QFileDialog::AcceptSave);
            files.setDefaultSuffix(QStringLiteral("pdf"));
            files.selectFile(pages.layout().caption + QStringLiteral(".pdf"));
            if (ModalRunner::exec(&files) != QDialog::Accepted || files.selectedFiles().isEmpty())
                return;
            try {
                writePdf(pages, files.selectedFiles().constFirst());
            } catch (const ErpError &e) {
                MessageBoxService::instance().show(
                    {QStringLiteral("ReportPreview"), QStringLiteral("SavePdf_1"), e.description(), 16, {}});
            }
        });
    }
    ModalRunner::exec(&dialog);
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

void ReportComponent::rptPrint(Connection &connection, const QString &reportCode, QObject *, const QString &choice,
                               bool allowPrint, const ResultSet *rows, const std::optional<QString> &sql,
                               const QVariant &, const QString &companyName)
{
    ResultSet fetched;
    const ResultSet *data = rows;
    if (!data) {
        if (!sql || sql->trimmed().isEmpty())
            return;
        data = &(fetched = selectReadOnly(connection, *sql));
    }

    QString folder = QDir::fromNativeSeparators(m_appPath);
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    folder += QStringLiteral("/report");
    const QString file = ReportLayout::findFile(folder, reportCode);
    ReportLayout layout;
    QString name = reportCode;
    if (file.isEmpty()) {
        layout = ReportLayout::plainTable(*data, storedCaption(connection, reportCode));
    } else {
        name = QFileInfo(file).fileName();
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            fail(QStringLiteral("无法读取报表格式 %1: %2").arg(name, in.errorString()));
        const QByteArray bytes = in.readAll();
        if (bytes.contains('\0'))
            fail(QStringLiteral("报表格式 %1 不是文本文件").arg(name));
        layout = ReportLayout::parse(QString::fromUtf8(bytes), name);
        if (layout.caption.isEmpty())
            layout.caption = storedCaption(connection, reportCode);
    }
    layout.bind(*data, name);
    const ReportPages pages(layout, *data, companyName);

    const QString pdf = m_outputFile.isEmpty() ? pdfOutput() : m_outputFile;
    if (!pdf.isEmpty())
        writePdf(pages, pdf);
    else if (choice.trimmed().compare(QLatin1String("P"), Qt::CaseInsensitive) == 0)
        print(pages, allowPrint, m_dialogParent);
    else
        preview(pages, m_dialogParent);
}

} // namespace report
