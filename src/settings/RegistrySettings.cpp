#include "RegistrySettings.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString Organization = QStringLiteral("Halvemark");
constexpr qsizetype LongestValue = 254;

// The key's own value has no name; it gets one the INI file can hold.
QString settingsKey(const QString &valueName)
{
    return valueName.isEmpty() ? QStringLiteral("(Default)") : valueName;
}

// The store is opened for writing as well as reading, the way the registry key is; a store
// whose file or folder cannot be written is not used at all. (Writing through a folder that
// refuses the replacement file would leave the value in memory only.)
bool usable(const QSettings &settings)
{
    return settings.isWritable() &&
           QFileInfo(QFileInfo(settings.fileName()).absolutePath()).isWritable();
}

} // namespace

QString NoValue()
{
    return QString(LongestValue, QLatin1Char(' '));
}

void SaveRegValue(const QString &appKey, const QString &valueName, const QString &text)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, Organization, appKey);
    if (!usable(settings))
        return;
    settings.setValue(settingsKey(valueName), text);
    settings.sync();
}

QString ReadRegValue(const QString &appKey, const QString &valueName)
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, Organization, appKey);
    if (!usable(settings))
        return NoValue();
    const QVariant value = settings.value(settingsKey(valueName));
    // A hand-edited file may hold a list ("1, 2") or another type; only a text counts.
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return NoValue();
    const QString text = value.toString();
    return text.size() > LongestValue ? NoValue() : text;
}
