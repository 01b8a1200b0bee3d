#include "CreateSchema.h"

#include "DatabaseOpen.h"
#include "GuardedExecute.h"
#include "StatisticsSchema.h"

#include "state/MainModule.h"

namespace {

// Error 9, as an index beyond the connection table has always been reported.
ErrorInfo outOfRange(qint32 n, qint32 maxCon)
{
    return {9, QStringLiteral("Subscript out of range (connection number %1 is not between 1 "
                              "and %2)")
                   .arg(n)
                   .arg(maxCon)};
}

// Which of the statistics tables the record set lists as tables of type "TABLE". The names
// are compared exactly, as the engine keeps them: the statements name the tables unquoted, so
// where the engine folds unquoted names, Cvars is the table it lists as cvars.
Result<QList<bool>> existingTables(const QList<DbRecord> &tables, const QStringList &names)
{
    QList<bool> exists(names.size(), false);
    for (const DbRecord &row : tables) {
        const Result<QVariant> type = row.field(QStringLiteral("TABLE_TYPE"));
        if (!type)
            return type.error();
        if (type->toString() != QLatin1String("TABLE"))
            continue;
        const Result<QVariant> name = row.field(QStringLiteral("TABLE_NAME"));
        if (!name)
            return name.error();
        const qsizetype i = names.indexOf(name->toString());
        if (i >= 0)
            exists[i] = true;
    }
    return exists;
}

} // namespace

SchemaOutcome CreateSchema(const MainModule &state, qint32 n, OperatorInteraction &op,
                           const DbConnectionFactory &newConnection)
{
    if (!state.hasConnSlot(n))
        return {outOfRange(n, state.MaxCon)};

    Result<std::unique_ptr<DbConnection>> opened =
        OpenDatabase(newConnection, state.ConnStrings[n]);
    if (!opened)
        return {opened.error()};
    DbConnection &db = **opened;

    const Result<QList<DbRecord>> providerTypes = db.OpenSchema(SchemaKind::ProviderTypes);
    if (!providerTypes)
        return {providerTypes.error()};
    const Result<TypeSlots> types = typeSlotsFrom(*providerTypes);
    if (!types)
        return {types.error()};

    QStringList names;
    for (const QString &name : statisticsTableNames())
        names.append(db.storedTableName(name));
    const Result<QList<DbRecord>> tables = db.OpenSchema(SchemaKind::Tables);
    if (!tables)
        return {tables.error()};
    const Result<QList<bool>> exists = existingTables(*tables, names);
    if (!exists)
        return {exists.error()};

    const QStringList statements = createTableStatements(*types);
    for (qsizetype i = 0; i < statements.size(); ++i) {
        if (exists->at(i))
            continue;
        const Result<GuardedResult> result = GuardedExecute(db, statements.at(i), op);
        if (!result)
            return {result.error()};
        if (*result == GuardedResult::Cancelled) {
            // Closing discards the open transaction; nothing else runs.
            db.Close();
            return {Status(), true};
        }
    }
    return {db.Close()};
}
