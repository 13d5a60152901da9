#pragma once

#include <QString>
#include <exception>

// The one failure type of the module: a number, where it came from, and a
// description. Event handlers catch it at their edge and hand it to ReportError.
class ErpError : public std::exception
{
public:
    ErpError(qint64 number, QString source, QString description, QString nativeCode = {})
        : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
          m_nativeCode(std::move(nativeCode)), m_what(m_description.toUtf8())
    {}

    qint64 number() const { return m_number; }
    const QString &source() const { return m_source; }
    const QString &description() const { return m_description; }
    // The driver's own code (SQLSTATE, error number), empty for our own failures.
    const QString &nativeCode() const { return m_nativeCode; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_source;
    QString m_description;
    QString m_nativeCode;
    QByteArray m_what;
};

// Numbers used where the failure is ours rather than a driver's.
namespace ErpErrorNumber {
constexpr qint64 GenericProvider = -2147467259; // 0x80004005, the generic provider failure
constexpr qint64 SqlStatement = -2147217900;    // 0x80040E14, a statement the server refused
constexpr qint64 NotConnected = 3704;           // operation on a closed connection
constexpr qint64 Timeout = -2147217871;         // 0x80040E31, command time-out
constexpr qint64 Overflow = 6;                  // a value too large for its type
constexpr qint64 ConnectionLost = -2147467260;  // the server dropped the connection inside a transaction,
                                                // or could not be reached again
} // namespace ErpErrorNumber
