#include "context/RunContext.h"

#include "platform/core/Environment.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

// The process-wide pseudo-random sequence, never seeded: every process
// produces the same sequence of tags.
quint32 g_randomState = 0x50000;

double nextRandom()
{
    g_randomState = (g_randomState * 1140671485u + 12820163u) & 0xFFFFFFu;
    return double(g_randomState) / double(0x1000000);
}

} // namespace

RunContext &RunContext::instance()
{
    static RunContext context;
    // The windows' static message calls read the context through this
    // provider; the services below never include the entry point.
    static const bool providerInstalled = [] {
        ErrorReporter::setProvider([] {
            const RunContext &ctx = RunContext::instance();
            return ErrorReporter(ctx.Conn, ctx.User_Name, ctx.Run_Tag);
        });
        return true;
    }();
    Q_UNUSED(providerInstalled);
    return context;
}

void RunContext::resetRandomSequence()
{
    g_randomState = 0x50000;
}

QString RunContext::makeRunTag()
{
    const QString name = DbGateway::GetMachineName().left(5);
    const qint64 n = qRound64(nextRandom() * 100000.0);
    return name + QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

QString RunContext::modulePath()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&RunContext::modulePath), &info) && info.dli_fname) {
        const QString dir = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
        return DbGateway::TrimTrailingBackslash(QDir::toNativeSeparators(dir));
    }
    return DbGateway::TrimTrailingBackslash(QCoreApplication::applicationDirPath());
}

void RunContext::setPrompts()
{
    Msg_Delete = QStringLiteral("确认要删除这笔资料?");
    Msg_Delete_En = QStringLiteral("Are you sure to delete this record?");
    Msg_Title = QStringLiteral("提示信息");
    Msg_Title_En = QStringLiteral("Information");
    Msg_Quit = QStringLiteral("确认要退出吗?");
    Msg_Quit_En = QStringLiteral("Are you sure quit?");
    Run_Tag = makeRunTag();
    App_Path = modulePath();
}

QString RunContext::defaultDatabaseUrl()
{
    const QString env = qEnvironmentVariable("ERP_DB");
    if (!env.isEmpty())
        return env;
    return QStringLiteral("sqlite:") + QDir(modulePath()).filePath(QStringLiteral("erp-demo.db"));
}

QString RunContext::defaultUserId()
{
    const QString env = qEnvironmentVariable("ERP_USER");
    return env.isEmpty() ? QStringLiteral("admin") : env;
}

void RunContext::EnsureConnection()
{
    RunContext &ctx = instance();
    if (ctx.Conn.isOpen())
        return;
    ctx.Conn = Connection::open(defaultDatabaseUrl());
    ctx.User_Id = defaultUserId();
    ctx.User_Name = DbGateway::LookupField(ctx.Conn, QStringLiteral("mmst901"), QStringLiteral("user_name"),
                                           QStringLiteral("user_id"), ctx.User_Id);
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    ctx.Ini_File = QDir(QDir::homePath()).filePath(QStringLiteral(".barmanu/") + program + QStringLiteral(".ini"));
}
