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
#include <QGuiApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QToolBar>

#include <algorithm>
#include <numeric>

namespace report {

namespace {

const QString kSource = QStringLiteral("ReportComponent");
std::function<void(QProgressDialog *, int)> g_progressHook;

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

// Paints the pages of order with a progress window that shows after a moment
// and lets the user stop a long report. A stop while printing aborts the
// printer's job, so that nothing half made reaches the paper.
Painted paintWithProgress(const ReportPages &pages, const QList<int> &order, QPagedPaintDevice *device,
                          QPrinter *abortable, QWidget *parent, bool *aborted = nullptr)
{
    QProgressDialog progress(QStringLiteral("正在排版报表 %1 ...").arg(pages.layout().caption), QStringLiteral("取消"),
                             0, int(order.size()), parent);
    progress.setObjectName(QStringLiteral("ReportProgress"));
    progress.setWindowTitle(QStringLiteral("报表"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    const bool done = pages.paintPages(
        device, order,
        [&progress](int page, int) {
            progress.setValue(page);
            if (g_progressHook)
                g_progressHook(&progress, page);
            return !progress.wasCanceled();
        },
        [abortable, aborted] {
            const bool done = abortable && abortable->abort();
            if (aborted)
                *aborted = done;
        });
    const bool cancelled = progress.wasCanceled();
    progress.setValue(int(order.size()));
    return done ? Painted::All : cancelled ? Painted::Cancelled : Painted::Failed;
}

QList<int> allPages(const ReportPages &pages)
{
    QList<int> order(pages.pageCount());
    std::iota(order.begin(), order.end(), 0);
    return order;
}

// The pages a printer's settings ask for, in printing order: the page range,
// last page first when asked, and the copies the printer does not make itself.
QList<int> pageOrder(const QPrinter &printer, int pageCount)
{
    int from = 1;
    int to = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = printer.fromPage();
        to = printer.toPage() > 0 ? qMin(pageCount, printer.toPage()) : pageCount;
    }
    QList<int> range;
    for (int p = from; p <= to; ++p)
        range << p - 1;
    if (printer.pageOrder() == QPrinter::LastPageFirst)
        std::reverse(range.begin(), range.end());
    const int copies = printer.supportsMultipleCopies() ? 1 : qBound(1, printer.copyCount(), 999);
    QList<int> order;
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            order += range;
    } else {
        for (int p : std::as_const(range))
            for (int c = 0; c < copies; ++c)
                order << p;
    }
    return order;
}

void preparePrinter(QPrinter &printer, const ReportPages &pages)
{
    printer.setFullPage(true);
    printer.setPageLayout(pages.pageLayout());
    printer.setDocName(pages.layout().caption);
}

void prepareDialog(QPrintDialog &dialog, const ReportPages &pages)
{
    dialog.setObjectName(QStringLiteral("ReportPrintDialog"));
    dialog.setWindowTitle(QStringLiteral("打印 %1").arg(pages.layout().caption));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    dialog.setMinMax(1, qMax(1, pages.pageCount()));
}

// Prints as the printer's settings say (paper, orientation, page range,
// copies). False when the user stopped it (and was told); a printer that
// refuses throws.
bool printOn(QPrinter &printer, const ReportPages &given, QWidget *parent)
{
    // The paper and orientation chosen for the printer; the layout's are only the default.
    const ReportPages pages = given.onPage(printer.pageLayout());
    const QList<int> order = pageOrder(printer, pages.pageCount());
    if (order.isEmpty())
        fail(QStringLiteral("打印报表 %1 失败: 报表只有 %2 页, 没有第 %3 页")
                 .arg(pages.layout().caption)
                 .arg(pages.pageCount())
                 .arg(printer.fromPage()));
    bool aborted = false;
    const Painted painted = paintWithProgress(pages, order, &printer, &printer, parent, &aborted);
    if (painted == Painted::Failed)
        fail(QStringLiteral("打印报表 %1 失败").arg(pages.layout().caption));
    if (painted == Painted::Cancelled) {
        // Said as it is: a printer that could not take the job back may still print what it got.
        const QString text = aborted ? QStringLiteral("打印报表 %1 已取消, 打印作业已撤销.")
                                     : QStringLiteral("打印报表 %1 已取消; 打印机已收到的页仍可能打印出来.");
        MessageBoxService::instance().show({QStringLiteral("ReportComponent"), QStringLiteral("Print_Cancel"),
                                            text.arg(pages.layout().caption), 64, {}});
        return false;
    }
    return true;
}

bool print(const ReportPages &pages, bool withoutDialog, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer, pages);
    if (!withoutDialog) {
        QPrintDialog dialog(&printer, parent);
        prepareDialog(dialog, pages);
        if (ModalRunner::exec(&dialog) != QDialog::Accepted)
            return false;
    }
    return printOn(printer, pages, parent);
}

// The preview window on the screen that shows its parent, within the room
// the screen leaves free (title bar and frame included).
void fitToScreen(QWidget &dialog, QWidget *parent)
{
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    constexpr int kFrame = 40; // title bar and borders the window manager adds
    const QSize size(qMin(900, room.width() - kFrame / 2), qMin(1000, room.height() - kFrame));
    dialog.resize(size.expandedTo(QSize(200, 200)).boundedTo(room.size()));
    dialog.move(room.left() + (room.width() - dialog.width()) / 2, room.top() + qMax(0, (room.height() - dialog.height() - kFrame) / 2));
}

bool preview(const ReportPages &pages, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer, pages);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("ReportPreview"));
    dialog.setWindowTitle(QStringLiteral("打印预览 - %1").arg(pages.layout().caption));
    fitToScreen(dialog, parent);
    // The pages as the preview's page set-up has them: its paper and orientation.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&pages, &dialog](QPrinter *target) {
        const ReportPages laid = pages.onPage(target->pageLayout());
        paintWithProgress(laid, allPages(laid), target, nullptr, &dialog);
    });
    bool printed = false;
    std::optional<ErpError> failure;
    if (QToolBar *bar = dialog.findChild<QToolBar *>()) {
        // The preview's own print button prints as P does: the print dialog's
        // range and copies, a failure reported, a stop told.
        const QList<QAction *> actions = bar->actions();
        QAction *printAction = actions.isEmpty() ? nullptr : actions.last();
        if (printAction && !printAction->isSeparator()) {
            printAction->setObjectName(QStringLiteral("PreviewPrint"));
            QObject::disconnect(printAction, &QAction::triggered, nullptr, nullptr);
            QObject::connect(printAction, &QAction::triggered, &dialog, [&] {
                QPrintDialog printDialog(&printer, &dialog);
                prepareDialog(printDialog, pages.onPage(printer.pageLayout()));
                if (ModalRunner::exec(&printDialog) != QDialog::Accepted)
                    return;
                try {
                    if (printOn(printer, pages, &dialog)) {
                        printed = true;
                        dialog.accept();
                    }
                } catch (const ErpError &e) {
                    failure = e;
                    dialog.reject();
                }
            });
        }
        QAction *save = bar->addAction(QStringLiteral("保存为PDF"));
        save->setObjectName(QStringLiteral("SavePdf"));
        QObject::connect(save, &QAction::triggered, &dialog, [&pages, &dialog, &printer, &printed] {
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
                writePdf(pages.onPage(printer.pageLayout()), files.selectedFiles().constFirst());
                printed = true;
            } catch (const ErpError &e) {
                MessageBoxService::instance().show(
                    {QStringLiteral("ReportPreview"), QStringLiteral("SavePdf_1"), e.description(), 16, {}});
            }
        });
    }
    ModalRunner::exec(&dialog);
    if (failure)
        throw *failure;
    return printed;
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

bool ReportComponent::rptPrint(Connection &connection, const QString &reportCode, QObject *, const QString &choice,
                               bool allowPrint, const ResultSet *rows, const std::optional<QString> &sql,
                               const QVariant &, const QString &companyName)
{
    ResultSet fetched;
    const ResultSet *data = rows;
    if (!data) {
        if (!sql || sql->trimmed().isEmpty())
            return false;
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
    if (!pdf.isEmpty()) {
        writePdf(pages, pdf);
        return true;
    }
    if (choice.trimmed().compare(QLatin1String("P"), Qt::CaseInsensitive) == 0)
        return print(pages, allowPrint, m_dialogParent);
    return preview(pages, m_dialogParent);
}

void setProgressHook(std::function<void(QProgressDialog *, int)> hook)
{
    g_progressHook = std::move(hook);
}

} // namespace report
