#include "services/FieldLimits.h"

#include "platform/db/Schema.h"

#include <QDir>

namespace {

const Schema *loadedSchema()
{
    // Read once: the schema does not change while the module runs.
    static const Schema *schema = []() -> const Schema * {
        try {
            static Schema s = Schema::load(QDir(schemaDirectory()).filePath(QStringLiteral("erp.schema")));
            return &s;
        } catch (...) {
            return nullptr;
        }
    }();
    return schema;
}

} // namespace

namespace FieldLimits {

int maxLength(const QString &table, const QString &column)
{
    const Schema *schema = loadedSchema();
    const TableDef *t = schema ? schema->table(table) : nullptr;
    const ColumnDef *c = t ? t->column(column) : nullptr;
    if (!c || (c->kind != ColumnKind::Code && c->kind != ColumnKind::Text))
        return 0;
    return c->length;
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar ch : text)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            return true;
    return false;
}

QString controlCharactersMessage()
{
    return QStringLiteral("输入的内容含有不能保存的控制字符,请重新输入!");
}

} // namespace FieldLimits
