#include "platform/ui/FileDialogs.h"
#include "platform/ui/HeadItem.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"
#include "services/FieldLimits.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextEdit>

namespace {

// A combo box showing several columns in its drop-down (set by the window
// that builds it).
bool isMultiColumn(const QWidget *w)
{
    return qobject_cast<const QComboBox *>(w) && w->property("multiColumn").toBool();
}

void setControlText(QWidget *w, const QString &text)
{
    if (auto *h = qobject_cast<HeadItem *>(w))
        h->setText(text);
    else if (auto *c = qobject_cast<QComboBox *>(w))
        c->setEditText(text);
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(text);
    else
        w->setProperty("text", text);
}

void addListItem(QWidget *w, const QString &text)
{
    if (auto *c = qobject_cast<QComboBox *>(w)) {
        const QString keep = c->currentText();
        c->addItem(text);
        if (c->isEditable())
            c->setEditText(keep);
    } else if (auto *l = qobject_cast<QListWidget *>(w)) {
        l->addItem(text);
    }
}

void loadColumns(QComboBox *combo, const ResultSet &rs, qint64 fromRow)
{
    auto *model = new QStandardItemModel(int(rs.rowCount() - fromRow), rs.columnCount(), combo);
    model->setHorizontalHeaderLabels(rs.columns());
    for (qint64 r = fromRow; r < rs.rowCount(); ++r)
        for (int c = 0; c < rs.columnCount(); ++c)
            model->setItem(int(r - fromRow), c, new QStandardItem(rs.text(r, c)));
    const QString keep = combo->currentText();
    combo->setModel(model);
    auto *view = new QTableView(combo);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    combo->setView(view);
    combo->setProperty("columnCount", rs.columnCount());
    if (combo->isEditable())
        combo->setEditText(keep);
}

} // namespace

QString DbGateway::controlText(const QWidget *w)
{
    if (!w)
        return {};
    if (auto *h = qobject_cast<const HeadItem *>(w))
        return h->text();
    if (auto *c = qobject_cast<const QComboBox *>(w))
        return c->currentText();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    if (auto *t = qobject_cast<const QTextEdit *>(w))
        return t->toPlainText();
    if (auto *p = qobject_cast<const QPlainTextEdit *>(w))
        return p->toPlainText();
    return w->property("text").toString();
}

void DbGateway::AddRsToList(const Connection &conn, QWidget *control, const QString &sql, ResultSet *records,
                            int fieldIndex, bool clearFirst, bool restoreText, bool searchText, bool setFirstAsText,
                            const QList<QVariant> &values)
{
    if (!control)
        return;
    try {
        const QString oldText = controlText(control);
        QString firstValue;
        auto *combo = qobject_cast<QComboBox *>(control);
        auto *head = qobject_cast<HeadItem *>(control);
        if (combo && clearFirst)
            combo->clear();
        if (fieldIndex < 0)
            fieldIndex = 0;
        if (!sql.isEmpty()) {
            const ResultSet rs = Sql(conn, sql).bindAll(values).select();
            if (isMultiColumn(control)) {
                if (!rs.isEmpty())
                    loadColumns(combo, rs, 0);
            } else if (head) {
                if (rs.rowCount() < 1)
                    head->addItem(QString(), true);
                for (qint64 r = 0; r < rs.rowCount(); ++r) {
                    const QString v = rs.text(r, fieldIndex);
                    if (r == 0) {
                        head->addItem(v, true);
                        firstValue = v;
                    } else {
                        head->addItem(v);
                    }
                }
                if (setFirstAsText)
                    head->setText(firstValue);
            } else {
                for (qint64 r = 0; r < rs.rowCount(); ++r) {
                    const QString v = rs.text(r, fieldIndex);
                    addListItem(control, v);
                    if (r == 0)
                        setControlText(control, v);
                }
            }
        } else if (records) {
            if (isMultiColumn(control)) {
                if (!records->atEnd()) {
                    loadColumns(combo, *records, std::max<qint64>(0, records->position()));
                    records->moveTo(records->rowCount());
                }
            } else {
                if (!records->atEnd())
                    records->moveFirst();
                for (; !records->atEnd(); records->moveNext()) {
                    const QString v = records->text(records->position(), fieldIndex);
                    if (head)
                        head->addItem(v);
                    else
                        addListItem(control, v);
                }
            }
        }
        if (searchText && combo) {
            // Looking the old text up changes nothing that follows; kept for the
            // selection it gives the list.
            const int at = combo->findText(oldText, Qt::MatchFixedString);
            if (at >= 0 && !restoreText)
                combo->setCurrentIndex(at);
        }
        if (restoreText)
            setControlText(control, oldText);
    } catch (...) {
        ErrorReporter::ReportError(QStringLiteral("Procedure"),
                                   QStringLiteral("AddRsToList Object:") + control->objectName());
    }
}

bool DbGateway::CheckIsNullString(QWidget *control, const QString &message)
{
    try {
        if (!controlText(control).trimmed().isEmpty())
            return false;
        QString text = message;
        int style = 64;
        QString title = QStringLiteral("提示信息");
        ErrorReporter::ShowErpMessage(QStringLiteral("PublicFunction"), QStringLiteral("CheckIsNullString"), text,
                                      style, title);
        bool locked = false;
        if (auto *h = qobject_cast<HeadItem *>(control))
            locked = h->isLocked();
        else if (auto *e = qobject_cast<QLineEdit *>(control))
            locked = e->isReadOnly();
        if (!locked && control)
            control->setFocus();
        return true;
    } catch (...) {
        ErrorReporter::ReportError(QStringLiteral("PublicFunction"), QStringLiteral("CheckIsNullString"));
        return true;
    }
}

QString DbGateway::ShowOpenFileDialog(QWidget *owner, const QString &filter, const QString &title,
                                      const QString &initialFolder, int flags, bool save)
{
    Q_UNUSED(flags);
    // "description|pattern|description|pattern" becomes Qt's "description (pattern);;..."
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList qtFilters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = QString(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        qtFilters.append(parts.at(i) + QStringLiteral(" (") + pattern + QStringLiteral(")"));
    }
    const QString f = qtFilters.join(QStringLiteral(";;"));
    const QString chosen = save ? FileDialogs::saveFileName(owner, title, initialFolder, f)
                                : FileDialogs::openFileName(owner, title, initialFolder, f);
    return TrimAtNul(chosen.left(255)).trimmed();
}

bool DbGateway::LoadPictureIfExists(const QString &path, QPixmap &picture)
{
    picture = QPixmap();
    if (!FileExists(path))
        return false;
    return picture.load(path);
}

void DbGateway::limitToColumn(QLineEdit *edit, const QString &table, const QString &column)
{
    if (const int n = FieldLimits::maxLength(table, column); edit && n > 0)
        edit->setMaxLength(n);
}
