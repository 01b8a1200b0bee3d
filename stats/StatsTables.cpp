#include "StatsTables.h"

#include <QSqlDriver>

QStringList ownTableStatements(Dialect dialect)
{
    const QString integer =
        dialect == Dialect::Postgres ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    const QString real =
        dialect == Dialect::Postgres ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    QString standings =
        QStringLiteral("CREATE TABLE IF NOT EXISTS Stats_Standings (Scope VARCHAR(160) NOT NULL, "
                       "Player %1 NOT NULL, Steam VARCHAR(64), Name VARCHAR(250)")
            .arg(integer);
    for (const char *column :
         {"Kills", "Deaths", "Assists", "Headshots", "Damage", "Rounds", "Seconds", "Teamkills",
          "Suicides", "Last_Game", "Last_Offset", "Won", "Extras", "Attacks"})
        standings +=
            QStringLiteral(", %1 %2 NOT NULL DEFAULT 0").arg(QLatin1String(column), integer);
    for (const char *column : {"Mu", "Sigma", "Rating", "KD", "HS", "DPR"})
        standings += QStringLiteral(", %1 %2 NOT NULL DEFAULT 0").arg(QLatin1String(column), real);
    standings += QStringLiteral(", PRIMARY KEY (Scope, Player))");

    QStringList statements{standings};
    // The pages count and search the rankings in lists of their own now; this index of
    // earlier versions only costs every store.
    statements << QStringLiteral("DROP INDEX IF EXISTS Stats_Standings_Active")
               // The index of Scores by killer alone, which the one beginning with Killer
               // replaces.
               << QStringLiteral("DROP INDEX IF EXISTS Stats_Scores_Killer")
               // Renames are written by player: that one is needed from the first store on.
               << QStringLiteral("CREATE INDEX IF NOT EXISTS Stats_Standings_Player ON "
                                 "Stats_Standings (Player)")
               << QStringLiteral("CREATE TABLE IF NOT EXISTS Stats_History (Scope VARCHAR(160) "
                                 "NOT NULL, Player %1 NOT NULL, Game %1 NOT NULL, Date_Time "
                                 "VARCHAR(32), Mu %2, Sigma %2, Rating %2, PRIMARY KEY (Scope, "
                                 "Player, Game))")
                      .arg(integer, real)
               << QStringLiteral(
                      "CREATE TABLE IF NOT EXISTS Stats_Weapons (Player %1 NOT NULL, "
                      "Weapon %1 NOT NULL, Kills %1 NOT NULL, Headshots %1 NOT NULL, "
                      "Damage %1 NOT NULL, Deaths %1 NOT NULL, Shots %1 NOT NULL DEFAULT 0, "
                      "Hits %1 NOT NULL DEFAULT 0, PRIMARY KEY (Player, "
                      "Weapon))")
                      .arg(integer)
               << QStringLiteral("CREATE TABLE IF NOT EXISTS Stats_Games_Players (Game %1 NOT "
                                 "NULL, Player %1 NOT NULL, Kills %1 NOT NULL, Deaths %1 NOT "
                                 "NULL, Headshots %1 NOT NULL, Teamkills %1 NOT NULL, Suicides %1 "
                                 "NOT NULL, Assists %1 NOT NULL, Damage %1 NOT NULL, Attacks %1 "
                                 "NOT NULL, Extras %1 NOT NULL, PRIMARY KEY (Game, Player))")
                      .arg(integer)
               << QStringLiteral("CREATE TABLE IF NOT EXISTS Stats_Rounds (Game %1 PRIMARY KEY, "
                                 "State TEXT NOT NULL)")
                      .arg(integer)
               << QStringLiteral("CREATE TABLE IF NOT EXISTS Stats_Cursor (Name VARCHAR(32) "
                                 "PRIMARY KEY, Value %1 NOT NULL)")
                      .arg(integer);
    return statements;
}

QStringList ownIndexStatements()
{
    QList<std::pair<QString, QString>> indexes; // name, table and columns
    for (const char *sort : {"Rating", "Kills", "Deaths", "KD", "HS", "Assists", "DPR", "Seconds"})
        indexes.append({QStringLiteral("Stats_Standings_") + QLatin1String(sort),
                        QStringLiteral("Stats_Standings (Scope, %1)").arg(QLatin1String(sort))});
    // The awards' most damage with one weapon, without reading every row.
    indexes.append(
        {QStringLiteral("Stats_Weapons_Damage"), QStringLiteral("Stats_Weapons (Damage)")});
    indexes.append({QStringLiteral("Stats_Games_Players_Player"),
                    QStringLiteral("Stats_Games_Players (Player, Game)")});
    QStringList statements;
    for (const auto &[name, on] : indexes)
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2").arg(name, on);
    return statements;
}

QStringList sourceIndexStatements()
{
    QStringList statements;
    const QList<std::pair<const char *, const char *>> indexes = {
        // A player's rows of some types, counted without reading the rows (TF2's shots on
        // the player page); its first column serves every search by killer.
        {"Scores", "Killer, Type, Weapon"},
        {"Scores", "Victim"},
        {"Ledgerwell_Kills", "Score"},
        {"Ledgerwell_Kills", "Game"},
        {"Games_Players_Teams", "Game"},
        {"Games_Players_Teams", "Player"},
        {"Games_Players_Cvars", "Player"},
        {"Servers_Games", "Game"},
        {"Servers_Games", "Server"},
        {"Games_Maps", "Game"},
        {"Games_Maps", "Map"},
        {"Ledgerwell_Results", "Game"},
        {"Ledgerwell_Details", "Game"},
        {"Ledgerwell_Details", "Player"},
        {"Games", "Game_Start_Date_Time"},
    };
    for (const auto &[table, columns] : indexes)
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS Stats_%1_%2 ON %1 (%3)")
                          .arg(QLatin1String(table),
                               QString::fromLatin1(columns).replace(QLatin1String(", "),
                                                                    QLatin1String("_")),
                               QLatin1String(columns));
    return statements;
}

bool hasTable(const QSqlDatabase &db, const QString &name)
{
    const QString stored = dialectOf(db) == Dialect::Postgres ? name.toLower() : name;
    return db.tables().contains(stored, dialectOf(db) == Dialect::Postgres ? Qt::CaseSensitive
                                                                           : Qt::CaseInsensitive);
}
