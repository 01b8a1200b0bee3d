#include "RoundState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray roundStateText(const RoundState &state)
{
    QJsonArray last, moved, kills, bomb, joins;
    for (auto it = state.sides.last.cbegin(); it != state.sides.last.cend(); ++it)
        last.append(QJsonArray{it.key(), it.value()});
    for (auto it = state.sides.moved.cbegin(); it != state.sides.moved.cend(); ++it)
        moved.append(QJsonArray{it.key(), it.value()});
    for (const RoundKill &kill : state.round.kills)
        kills.append(QJsonArray{kill.killer, kill.victim, kill.enemy});
    for (auto it = state.round.bomb.cbegin(); it != state.round.bomb.cend(); ++it)
        bomb.append(QJsonArray{it.key(), it.value()});
    for (const RoundJoin &join : state.round.joins)
        joins.append(QJsonArray{join.player, join.team, join.kills});
    return QJsonDocument(QJsonObject{{"swaps", state.sides.swaps},
                                     {"ct", state.sides.ct},
                                     {"t", state.sides.t},
                                     {"last", last},
                                     {"moved", moved},
                                     {"kills", kills},
                                     {"bomb", bomb},
                                     {"joins", joins}})
        .toJson(QJsonDocument::Compact);
}

RoundState roundStateFrom(const QByteArray &text)
{
    const QJsonObject object = QJsonDocument::fromJson(text).object();
    RoundState state;
    state.sides.swaps = object.value(QLatin1String("swaps")).toInt();
    state.sides.ct = object.value(QLatin1String("ct")).toInt(-1);
    state.sides.t = object.value(QLatin1String("t")).toInt(-1);
    for (const QJsonValue &side : object.value(QLatin1String("last")).toArray())
        state.sides.last.insert(side[0].toInteger(), side[1].toString());
    for (const QJsonValue &side : object.value(QLatin1String("moved")).toArray())
        state.sides.moved.insert(side[0].toInteger(), side[1].toString());
    for (const QJsonValue &kill : object.value(QLatin1String("kills")).toArray())
        state.round.kills.append({kill[0].toInteger(), kill[1].toInteger(), kill[2].toBool()});
    for (const QJsonValue &carrier : object.value(QLatin1String("bomb")).toArray())
        state.round.bomb.insert(carrier[0].toInteger(), carrier[1].toInt());
    for (const QJsonValue &join : object.value(QLatin1String("joins")).toArray())
        state.round.joins.append({join[0].toInteger(), join[1].toString(), join[2].toInteger()});
    return state;
}
