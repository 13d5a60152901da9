#pragma once

// The code collation ERPCODE of SQLite connections: codes compare as the
// ERP's server compares them, without regard to case and trailing blanks.
// A sqlite3 collation callback over two UTF-8 texts.
int erpCompareCodes(void *, int lengthA, const void *a, int lengthB, const void *b);
