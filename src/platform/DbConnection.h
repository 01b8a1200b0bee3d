#pragma once

#include "Result.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>

// One row of a schema record set: values by field name (names compared without regard to
// case, as record sets do).
class DbRecord
{
public:
    DbRecord() = default;
    DbRecord(std::initializer_list<std::pair<QString, QVariant>> fields)
        : m_fields(fields)
    {
    }

    void set(const QString &name, const QVariant &value);
    // The value, or error 3265 when the record has no such field.
    Result<QVariant> field(const QString &name) const;

private:
    QList<std::pair<QString, QVariant>> m_fields;
};

// The schema record sets the program asks for, numbered as the schema enumeration numbers
// them.
enum class SchemaKind {
    Tables = 20,        // TABLE_NAME, TABLE_TYPE ("TABLE", "VIEW", "SYSTEM TABLE" ...)
    ProviderTypes = 22, // TYPE_NAME, DATA_TYPE, BEST_MATCH, IS_LONG, in the provider's order
};

// A database connection object: opened with a connection string, used, closed. Every failure
// carries a number and a description (see DbErrors.h). Nothing stays open between
// operations, so an object is opened at most once at a time; destroying it closes it.
class DbConnection
{
public:
    virtual ~DbConnection() = default;

    virtual Status Open(const QString &connString) = 0;
    virtual Status Close() = 0;
    virtual Status BeginTrans() = 0;
    virtual Status CommitTrans() = 0;
    virtual Status RollbackTrans() = 0;
    // Runs one statement; any rows it returns are dropped at once.
    virtual Status Execute(const QString &sql) = 0;
    virtual Result<QList<DbRecord>> OpenSchema(SchemaKind kind) = 0;

    // Whether a statement that meets a lock held by another connection waits for it, up to the
    // connection string's "Busy Timeout" (as it does after Open), or is refused as locked at
    // once. Engines without such a wait take either answer as it is.
    virtual Status setLockWait(bool wait) = 0;

    // The TABLE_NAME under which the tables record set lists a table created with this
    // unquoted name: the name itself, or its folded form where the engine folds the case of
    // unquoted names.
    virtual QString storedTableName(const QString &name) const = 0;
};

// Makes a new, closed connection object.
using DbConnectionFactory = std::function<std::unique_ptr<DbConnection>()>;
