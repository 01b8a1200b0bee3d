#pragma once

#include <QJsonArray>
#include <QString>

// A player's rating after each of his games as an inline SVG line chart (the cautious
// rating, and his most likely skill Mu above it), drawn here so the page needs no script.
// Points are objects with "rating", "mu" and "date".
QString ratingChart(const QJsonArray &points);

// Games per period as an inline SVG bar chart; points are objects with "period" and "games".
QString activityChart(const QJsonArray &points);
