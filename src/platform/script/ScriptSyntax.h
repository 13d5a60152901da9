#pragma once

// The syntax tree of a script text and the parser that builds it. Internal to
// the engine: ScriptEngine is the interface for everyone else.

#include "platform/script/ScriptValue.h"

#include <QHash>
#include <memory>
#include <vector>

namespace script {

struct Expr;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using Block = std::vector<std::unique_ptr<Stmt>>;

struct Expr
{
    enum Kind {
        Literal, // value
        Name,    // name
        Member,  // left.name; left null = the object of the enclosing With
        Call,    // left(args): a call, an array element or a default member
        Paren,   // (left): also makes an argument ByVal
        Unary,   // op Neg or Not on left
        Binary,  // left op right
        New      // New name: an instance of a class
    };
    enum UnaryOp { Neg, Not };

    Kind kind = Literal;
    int line = 0;
    ScriptValue value;
    QString name; // as written
    QString key;  // lower case, for lookups
    ScriptOps::Op op = ScriptOps::Op::Add;
    UnaryOp unary = Neg;
    ExprPtr left, right;
    std::vector<ExprPtr> args; // a null entry is an omitted argument
};

struct Declaration
{
    QString name, key;
    bool isArray = false;        // written with parentheses
    std::vector<ExprPtr> bounds; // upper bounds; empty for a dynamic array
};

struct CaseItem
{
    enum Kind { Value, Range, Is };
    Kind kind = Value;
    ExprPtr value, to;
    ScriptOps::Op op = ScriptOps::Op::Eq;
};

struct CaseClause
{
    std::vector<CaseItem> items; // empty = Case Else
    Block body;
};

struct Stmt
{
    enum Kind {
        CallStmt,
        Assign,
        SetStmt,
        Dim,
        ReDim,
        Const,
        If,
        Select,
        For,
        ForEach,
        Do,
        While,
        Exit,
        OnErrorResumeNext,
        OnErrorGoto0,
        With,
        Erase,
        OptionExplicit,
        Stop,     // a breakpoint: nothing to do without a debugger
        Procedure // a Sub or Function declared inside a block: it belongs to the script, nothing runs here
    };
    enum ExitKind { ExitFor, ExitDo, ExitSub, ExitFunction, ExitProperty };

    Kind kind = CallStmt;
    int line = 0;
    ExprPtr target;   // CallStmt: the call; Assign/Set: the place; For/ForEach: the counter; With: the object
    ExprPtr value;    // Assign/Set: the value; For: start; ForEach: collection; Do/While: condition
    ExprPtr to, step; // For
    std::vector<Declaration> decls; // Dim, ReDim, Erase (names only)
    std::vector<std::pair<QString, ExprPtr>> consts;
    bool preserve = false;                           // ReDim Preserve
    std::vector<std::pair<ExprPtr, Block>> branches; // If / ElseIf
    Block body, elseBody;                            // loops, With; If's Else
    std::vector<CaseClause> cases;                   // Select
    bool preTest = true, until = false;              // Do
    ExitKind exitKind = ExitFor;
};

struct Parameter
{
    QString name, key;
    bool byVal = false;
};

struct Procedure
{
    enum Kind { Sub, Function, PropertyGet, PropertyLet, PropertySet };
    QString name, key;
    Kind kind = Sub;
    bool isFunction = false; // returns a value: a Function or a Property Get
    bool isPublic = true;
    bool isDefault = false;
    int line = 0;
    std::vector<Parameter> params;
    Block body;
    QStringList dims; // names its Dim statements declare, known from its start
    // Its constants of a literal value, known from its start as well.
    std::vector<std::pair<QString, ScriptValue>> consts;
};

// A Class ... End Class: its variables and its procedures by name. One name
// may carry a Property Get (or a Sub/Function), a Property Let and a Property Set.
struct ClassField
{
    Declaration decl;
    bool isPublic = true;
};

struct ClassMember
{
    std::shared_ptr<Procedure> get; // Sub, Function or Property Get
    std::shared_ptr<Procedure> let, set;
};

struct ClassDef
{
    QString name, key;
    std::vector<ClassField> fields;
    std::vector<std::pair<QString, ExprPtr>> consts; // key and value, evaluated for each instance
    QHash<QString, bool> fieldIsPublic;
    QHash<QString, ClassMember> members;
    QString defaultKey; // the Default member, or empty
};

struct Program
{
    std::vector<std::shared_ptr<Procedure>> procedures;
    std::vector<std::shared_ptr<ClassDef>> classes;
    Block statements;
    QStringList dims; // names the top-level Dim statements declare
    // The script's constants of a literal value: procedures read them
    // whether or not the Const statement has run yet.
    std::vector<std::pair<QString, ScriptValue>> consts;
    bool optionExplicit = false;
};

// Parses a whole script text, or one expression. Failures throw ScriptError
// with the compilation error's number, the 1-based line and a detail naming
// the line and the construct the error was found in.
std::shared_ptr<Program> parseProgram(const QString &text);
ExprPtr parseExpression(const QString &text);

} // namespace script
