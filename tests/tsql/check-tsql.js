// The tsql test: every distinct statement the test run captured (as the SQL
// Server dialect renders it) and every statement tsql_statements wrote is
// parsed as T-SQL by node-sql-parser. The grammar lets some constructs of
// other servers through, so the parsed statement is also searched for those
// and its function calls are checked against SQL Server's built-ins.
// A statement that fails either check fails the test unless an entry of the
// exceptions file matches it; an entry that matches no failing statement
// fails the test too, so the list stays true.
//   node check-tsql.js CAPTURE_DIR EXCEPTIONS_FILE [MINIMUM]
//   node check-tsql.js --must-refuse FILE   (the check's own test: every
//                                            statement of FILE is refused)
'use strict';
const fs = require('fs');
const path = require('path');
const { Parser } = require('node-sql-parser/build/transactsql');

const mustRefuse = process.argv[2] === '--must-refuse' ? process.argv[3] : '';
const [captureDir, exceptionsFile, minimumText] = mustRefuse ? [] : process.argv.slice(2);
const minimum = Number(minimumText || 150);

// ---- the statements
const statements = new Map(); // sql -> {sources:Set, backends:Set}
for (const file of mustRefuse ? [] : fs.readdirSync(captureDir).filter((f) => f.endsWith('.jsonl')).sort()) {
  for (const line of fs.readFileSync(path.join(captureDir, file), 'utf8').split('\n')) {
    if (!line.trim()) continue;
    let o;
    try {
      o = JSON.parse(line);
    } catch (e) {
      continue; // the last line of a process killed while writing
    }
    const sql = o.sql.trim();
    if (!statements.has(sql)) statements.set(sql, { sources: new Set(), backends: new Set() });
    statements.get(sql).sources.add(o.source);
    statements.get(sql).backends.add(o.backend);
  }
}

// ---- the exceptions: blocks of "match = REGEX" and "reason = TEXT"
function readExceptions(file) {
  const out = [];
  let current = null;
  fs.readFileSync(file, 'utf8').split('\n').forEach((raw, i) => {
    const line = raw.trim();
    if (!line || line.startsWith('#')) return;
    const m = /^(match|reason|kind|strip)\s*=\s*(.*)$/.exec(line);
    if (!m) throw new Error(`${file}:${i + 1}: expected "match = ", "kind = ", "strip = " or "reason = ": ${line}`);
    if (m[1] === 'match') {
      current = { line: i + 1, match: new RegExp(m[2], 's'), pattern: m[2], reason: '', kind: '', strip: '', used: 0 };
      out.push(current);
    } else if (!current) {
      throw new Error(`${file}:${i + 1}: "${m[1]}" before any "match"`);
    } else {
      current[m[1]] = m[2];
    }
  });
  for (const e of out) {
    if (!e.reason) throw new Error(`${file}:${e.line}: exception without a reason`);
    if (e.strip) e.strip = new RegExp(e.strip, 'gs');
    if (e.kind === 'elsewhere' && e.strip) throw new Error(`${file}:${e.line}: an "elsewhere" entry takes the whole statement`);
    if (e.kind !== 'parser' && e.kind !== 'elsewhere')
      throw new Error(`${file}:${e.line}: kind must be "parser" (the parser is wrong) or "elsewhere" (never issued on SQL Server)`);
  }
  return out;
}
const exceptions = mustRefuse ? [] : readExceptions(exceptionsFile);

// ---- text outside string literals and quoted names, with "?" as @P1, @P2 ...
// (what the ODBC driver sends for them)
function scan(sql) {
  let bare = '';
  let bound = '';
  let n = 0;
  for (let i = 0; i < sql.length; ) {
    const c = sql[i];
    if (c === "'" || c === '"' || c === '[') {
      const close = c === '[' ? ']' : c;
      let j = i + 1;
      while (j < sql.length) {
        if (sql[j] === close) {
          if (close !== ']' && sql[j + 1] === close) { j += 2; continue; }
          break;
        }
        j++;
      }
      bound += sql.slice(i, j + 1);
      bare += ' ';
      i = j + 1;
    } else if (c === '?') {
      n += 1;
      bound += `@P${n}`;
      bare += '@P';
      i++;
    } else {
      bound += c;
      bare += c;
      i++;
    }
  }
  return { bare, bound };
}

// Constructs of SQLite or PostgreSQL that the grammar accepts and SQL Server refuses.
const foreign = [
  [/\bLIMIT\s+\d/i, 'LIMIT (SQL Server: TOP n)'],
  [/\bWITH\s+RECURSIVE\b/i, 'WITH RECURSIVE (SQL Server: WITH)'],
  [/\bLATERAL\b/i, 'LATERAL (SQL Server: CROSS APPLY)'],
  [/\|\|/, '|| concatenation'],
  [/\bILIKE\b/i, 'ILIKE'],
  [/\bRETURNING\b/i, 'RETURNING (SQL Server: OUTPUT)'],
  [/\bON\s+CONFLICT\b/i, 'ON CONFLICT (SQL Server: MERGE)'],
  [/\bFOR\s+UPDATE\b/i, 'FOR UPDATE (SQL Server: WITH (UPDLOCK))'],
  [/\bCOLLATE\s+(ERPCODE|BINARY|NOCASE|erp_code)\b/i, 'a collation of SQLite or PostgreSQL'],
  [/::/, ':: cast'],
  [/\bPRAGMA\b/i, 'PRAGMA'],
  [/\b(TRUE|FALSE)\b/i, 'TRUE/FALSE literals (SQL Server: 1/0)'],
  [/\bNULLS\s+(FIRST|LAST)\b/i, 'NULLS FIRST/LAST'],
  [/\bIS\s+(NOT\s+)?DISTINCT\s+FROM\b/i, 'IS DISTINCT FROM (SQL Server 2022 only)'],
];

// SQL Server's built-in functions (those a statement of ours might call).
const builtins = new Set(`
ABS ACOS ASCII ASIN ATAN AVG CAST CEILING CHAR CHARINDEX CHECKSUM COALESCE CONCAT CONVERT COS COUNT COUNT_BIG
CURRENT_TIMESTAMP DATALENGTH EXISTS DATEADD DATEDIFF DATEFROMPARTS DATENAME DATEPART DAY DB_NAME EOMONTH EXP FLOOR FORMAT
GETDATE GETUTCDATE GROUPING HOST_NAME IIF ISDATE ISNULL ISNUMERIC LEFT LEN LOG LOG10 LOWER LTRIM MAX MIN MONTH
NCHAR NEWID NULLIF OBJECT_ID PATINDEX POWER QUOTENAME RAND REPLACE REPLICATE REVERSE RIGHT ROUND ROW_NUMBER RANK
DENSE_RANK RTRIM SCOPE_IDENTITY SIGN SIN SPACE SQRT SQUARE STDEV STR STRING_AGG STUFF SUBSTRING SUM SUSER_SNAME
SYSDATETIME TAN TRIM TRY_CAST TRY_CONVERT UNICODE UPPER USER_NAME VAR YEAR
`.split(/\s+/).filter(Boolean));

function functionName(node) {
  const n = node.name;
  if (typeof n === 'string') return n;
  if (n && Array.isArray(n.name)) return n.name.map((p) => p.value).join('.');
  if (n && typeof n.name === 'string') return n.name;
  return '';
}

// Every function call of the tree whose name SQL Server does not know.
function unknownFunctions(ast) {
  const found = new Set();
  const seen = new Set();
  (function walk(node) {
    if (!node || typeof node !== 'object' || seen.has(node)) return;
    seen.add(node);
    if (node.type === 'function' || node.type === 'aggr_func') {
      const name = functionName(node).toUpperCase();
      if (name && !builtins.has(name)) found.add(name);
    }
    for (const v of Object.values(node)) walk(v);
  })(ast);
  return [...found];
}

// Words SQL Server reserves: a table or column of that name needs brackets.
const reserved = new Set(`
ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY CASCADE CASE CHECK CHECKPOINT
CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE CONSTRAINT CONTAINS CONTAINSTABLE CONTINUE CONVERT CREATE
CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE
DEFAULT DELETE DENY DESC DISK DISTINCT DISTRIBUTED DOUBLE DROP DUMP ELSE END ERRLVL ESCAPE EXCEPT EXEC EXECUTE
EXISTS EXIT EXTERNAL FETCH FILE FILLFACTOR FOR FOREIGN FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP
HAVING HOLDLOCK IDENTITY IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY KILL LEFT
LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF OFFSETS ON OPEN OPENDATASOURCE
OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER OVER PERCENT PIVOT PLAN PRECISION PRIMARY PRINT PROC PROCEDURE
PUBLIC RAISERROR READ READTEXT RECONFIGURE REFERENCES REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE RIGHT
ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE SCHEMA SECURITYAUDIT SELECT SESSION_USER SET SETUSER SHUTDOWN SOME
STATISTICS SYSTEM_USER TABLE TABLESAMPLE TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT
TSEQUAL UNION UNIQUE UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE WHILE WITH
WITHINGROUP WRITETEXT
`.split(/\s+/).filter(Boolean));

const conditions = new Set(['=', '<>', '!=', '<', '>', '<=', '>=', 'AND', 'OR', 'LIKE', 'NOT LIKE', 'IN', 'NOT IN',
                            'IS', 'IS NOT', 'BETWEEN', 'NOT BETWEEN']);
const isCondition = (e) => e && ((e.type === 'binary_expr' && conditions.has(String(e.operator).toUpperCase())) ||
                                 (e.type === 'function' && functionName(e).toUpperCase() === 'EXISTS'));

// What SQL Server refuses although the grammar takes it.
function semanticProblems(root) {
  const found = new Set();
  const seen = new Set();
  (function walk(node, nested) {
    if (!node || typeof node !== 'object' || seen.has(node)) return;
    seen.add(node);
    if (node.type === 'select') {
      const order = node.orderby || [];
      if (nested && order.length && !node.top)
        found.add('ORDER BY in a subquery or common table expression without TOP');
      const groups = node.groupby ? node.groupby.columns || node.groupby : [];
      if ((groups || []).some((g) => g && g.type === 'number')) found.add('GROUP BY a column position');
      for (const f of node.from || [])
        if (f && f.expr && f.expr.ast && !f.as) found.add('a derived table without a name');
      for (const c of node.columns || [])
        if (c && isCondition(c.expr)) found.add('a condition as a selected value');
      if (node.distinct && order.length) {
        const names = new Set();
        for (const c of node.columns || []) {
          if (c.as) names.add(String(c.as).toUpperCase());
          if (c.expr && c.expr.type === 'column_ref') names.add(String(c.expr.column).toUpperCase());
        }
        for (const o of order)
          if (o.expr && o.expr.type === 'column_ref' && !names.has(String(o.expr.column).toUpperCase()))
            found.add(`ORDER BY ${o.expr.column}, which SELECT DISTINCT does not select`);
      }
    }
    if (node.type === 'create' && node.keyword === 'table') {
      for (const t of node.table || []) if (reserved.has(String(t.table).toUpperCase())) found.add(`table named ${t.table}`);
      for (const d of node.create_definitions || [])
        if (d.column && reserved.has(String(d.column.column).toUpperCase())) found.add(`column named ${d.column.column}`);
    }
    for (const [k, v] of Object.entries(node)) {
      if (k === 'ast') walk(v, true);
      else if (Array.isArray(v)) v.forEach((x) => walk(x, nested));
      else walk(v, nested);
    }
  })(root, false);
  return [...found];
}

const parser = new Parser();

// Why the statement is no T-SQL, or '' when it passes.
function check(sql) {
  const { bare, bound } = scan(sql);
  let ast;
  try {
    ast = parser.astify(bound, { database: 'TransactSQL' });
  } catch (e) {
    return `refused by the parser: ${String(e.message).split('\n')[0].slice(0, 200)}`;
  }
  const bad = foreign.filter(([re]) => re.test(bare)).map(([, what]) => what);
  if (/\bCOLLATE\s+["[]/i.test(bound)) bad.push('COLLATE with a quoted name');
  if (bad.length) return `not T-SQL: ${bad.join(', ')}`;
  // DBCC's arguments and SET's option values read as function calls.
  const unknown = /^\s*(DBCC|SET)\b/i.test(sql) ? [] : unknownFunctions(ast);
  if (unknown.length) return `not a SQL Server function: ${unknown.join(', ')}`;
  const problems = semanticProblems(ast);
  if (problems.length) return `refused by SQL Server: ${problems.join(', ')}`;
  return '';
}

if (mustRefuse) {
  let wrong = 0;
  const lines = fs.readFileSync(mustRefuse, 'utf8').split('\n').filter((l) => l.trim() && !l.startsWith('--'));
  for (const sql of lines) {
    const why = check(sql);
    if (!why) {
      console.log(`FAIL the check takes what SQL Server refuses: ${sql}`);
      wrong += 1;
    } else if (process.env.TSQL_VERBOSE) {
      console.log(`  ${why.slice(0, 90)}  <=  ${sql}`);
    }
  }
  console.log(`the check refuses ${lines.length - wrong} of the ${lines.length} statements of ${path.basename(mustRefuse)}`);
  process.exit(wrong ? 1 : 0);
}

let parsed = 0;   // as they are
let stripped = 0; // once what an exception names was removed
let taken = 0;    // whole, as an exception lists them
const unlisted = [];
for (const [sql, info] of statements) {
  const why = check(sql);
  if (!why) {
    parsed += 1;
    continue;
  }
  const listed = exceptions.filter((e) => e.match.test(sql));
  const whole = listed.find((e) => !e.strip);
  if (whole) {
    whole.used += 1;
    taken += 1;
    continue;
  }
  if (listed.length) {
    let rest = sql;
    for (const e of listed) rest = rest.replace(e.strip, '');
    const whyRest = check(rest);
    if (!whyRest) {
      listed.forEach((e) => (e.used += 1));
      stripped += 1;
      continue;
    }
    unlisted.push({ sql, why: `${whyRest} (after removing what ${listed.map((e) => 'line ' + e.line).join(', ')} of the exceptions name)`, info });
    continue;
  }
  unlisted.push({ sql, why, info });
}

// ---- verdict
const bySource = new Map();
for (const info of statements.values())
  for (const s of info.sources) {
    const key = s.replace(/:\d+$/, '').replace(/^(src\/[^/]+\/[^/]+).*$/, '$1').replace(/^(src\/[^/]+)\/[^/]*\.(cpp|h)$/, '$1');
    bySource.set(key, (bySource.get(key) || 0) + 1);
  }

console.log(`${statements.size} distinct statements, rendered for SQL Server: ${parsed} parsed as T-SQL as they are, ` +
            `${stripped} once what the parser does not know was removed, ${taken} taken whole as listed`);
console.log('by where they are issued: ' + [...bySource].sort().map(([k, v]) => `${k} ${v}`).join(', '));
console.log(`\nexceptions (${exceptions.length}, from ${path.basename(exceptionsFile)}):`);
let bad = 0;
for (const e of exceptions) {
  console.log(`  [${e.kind}] /${e.pattern}/ (${e.used} statement${e.used === 1 ? '' : 's'}${e.strip ? ', parsed without it' : ''})\n      ${e.reason}`);
  if (!e.used) {
    console.log(`      FAIL: this exception matches no refused statement; remove it (${path.basename(exceptionsFile)}:${e.line})`);
    bad += 1;
  }
}
for (const f of unlisted) {
  console.log(`\nFAIL ${f.why}\n  from ${[...f.info.sources].join(', ')} (${[...f.info.backends].join(', ')})\n  ${f.sql}`);
  bad += 1;
}
if (statements.size < minimum) {
  console.log(`\nFAIL only ${statements.size} statements were captured (at least ${minimum} expected): ` +
              'run the whole suite first (scripts/test), so that every program writes its statements');
  bad += 1;
}
console.log(`\ntsql: ${parsed + stripped} statements parsed as T-SQL, ${taken} taken as listed, ${unlisted.length} refused`);
process.exit(bad ? 1 : 0);
