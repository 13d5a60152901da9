// The code collation as a loadable SQLite extension, so that tools other
// than the module (the sqlite3 shell, scripts) can query a database whose
// code columns declare ERPCODE:
//   sqlite3 erp.db -cmd '.load build/erpcode' "SELECT ..."
#include "platform/db/CodeCollation.h"

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

extern "C" __attribute__((visibility("default"))) int sqlite3_erpcode_init(sqlite3 *db, char **,
                                                                           const sqlite3_api_routines *api)
{
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_collation_v2(db, "ERPCODE", SQLITE_UTF8, nullptr, erpCompareCodes, nullptr);
}
