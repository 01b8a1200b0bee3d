#pragma once

#include "platform/DbConnection.h"

#include <QStringList>

#include <memory>
#include <optional>

// One row of the provider types record set, as a scripted connection serves it.
inline DbRecord providerType(const QString &name, int dataType, QVariant bestMatch, QVariant isLong)
{
    return DbRecord{{QStringLiteral("TYPE_NAME"), name},
                    {QStringLiteral("DATA_TYPE"), dataType},
                    {QStringLiteral("BEST_MATCH"), bestMatch},
                    {QStringLiteral("IS_LONG"), isLong}};
}

// What one operation of a scripted connection does: fail with these errors first, in order,
// then with `always` on every later call (or succeed when it is unset).
struct FailurePlan
{
    QList<ErrorInfo> first;
    std::optional<ErrorInfo> always;

    std::optional<ErrorInfo> next()
    {
        if (!first.isEmpty())
            return first.takeFirst();
        return always;
    }
};

// The script shared by every connection object a test's factory makes, and the log of their
// calls in order: "Open", "BeginTrans", "Execute <sql>", "OpenSchema 22" ...
struct ConnectionScript
{
    FailurePlan open, close, begin, execute, commit, rollback, schema;
    // Served by OpenSchema when the connection wraps no real one.
    QList<DbRecord> providerTypes;
    QList<DbRecord> tables;

    QStringList calls;
    QStringList openedWith; // the connection string of every Open

    int count(const QString &operation) const
    {
        int n = 0;
        for (const QString &call : calls) {
            if (call == operation || call.startsWith(operation + QLatin1Char(' ')))
                ++n;
        }
        return n;
    }
    QStringList executed() const
    {
        QStringList statements;
        for (const QString &call : calls) {
            if (call.startsWith(QLatin1String("Execute ")))
                statements.append(call.mid(8));
        }
        return statements;
    }
};

// A connection that records its calls and fails where the script says; otherwise it passes
// the call on to the real connection it wraps, or succeeds when it wraps none.
class ScriptedConnection : public DbConnection
{
public:
    ScriptedConnection(std::shared_ptr<ConnectionScript> script,
                       std::unique_ptr<DbConnection> real = nullptr)
        : m_script(std::move(script))
        , m_real(std::move(real))
    {
    }

    Status Open(const QString &connString) override
    {
        m_script->openedWith.append(connString);
        return step(QStringLiteral("Open"), m_script->open,
                    [&] { return m_real->Open(connString); });
    }
    Status Close() override
    {
        return step(QStringLiteral("Close"), m_script->close, [&] { return m_real->Close(); });
    }
    Status BeginTrans() override
    {
        return step(QStringLiteral("BeginTrans"), m_script->begin,
                    [&] { return m_real->BeginTrans(); });
    }
    Status CommitTrans() override
    {
        return step(QStringLiteral("CommitTrans"), m_script->commit,
                    [&] { return m_real->CommitTrans(); });
    }
    Status RollbackTrans() override
    {
        return step(QStringLiteral("RollbackTrans"), m_script->rollback,
                    [&] { return m_real->RollbackTrans(); });
    }
    Status Execute(const QString &sql) override
    {
        return step(QStringLiteral("Execute ") + sql, m_script->execute,
                    [&] { return m_real->Execute(sql); });
    }
    Result<QList<DbRecord>> OpenSchema(SchemaKind kind) override
    {
        m_script->calls.append(QStringLiteral("OpenSchema %1").arg(int(kind)));
        if (const std::optional<ErrorInfo> failure = m_script->schema.next())
            return *failure;
        if (m_real)
            return m_real->OpenSchema(kind);
        return kind == SchemaKind::ProviderTypes ? m_script->providerTypes : m_script->tables;
    }
    // Not logged: it is no step of the work, only how the real connection takes locks.
    Status setLockWait(bool wait) override { return m_real ? m_real->setLockWait(wait) : Status(); }
    QString storedTableName(const QString &name) const override
    {
        return m_real ? m_real->storedTableName(name) : name;
    }

private:
    template <typename Call> Status step(const QString &call, FailurePlan &plan, Call &&real)
    {
        m_script->calls.append(call);
        if (const std::optional<ErrorInfo> failure = plan.next())
            return *failure;
        return m_real ? real() : Status();
    }

    std::shared_ptr<ConnectionScript> m_script;
    std::unique_ptr<DbConnection> m_real;
};

// A factory of scripted connections; with realFactory each wraps a real connection.
inline DbConnectionFactory scriptedFactory(std::shared_ptr<ConnectionScript> script,
                                           DbConnectionFactory realFactory = {})
{
    return [script, realFactory]() -> std::unique_ptr<DbConnection> {
        return std::make_unique<ScriptedConnection>(script, realFactory ? realFactory() : nullptr);
    };
}
