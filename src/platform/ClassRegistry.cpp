#include "ClassRegistry.h"

#include <QSettings>

namespace {

const QString Organization = QStringLiteral("Halvemark");
const QString Application = QStringLiteral("ClassRegistry");

QString settingsKey(const QString &keyPath)
{
    QString key = keyPath;
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return key;
}

} // namespace

std::optional<QString> ClassRegistry::readDefault(const QString &keyPath) const
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, Organization, Application);
    const QVariant value = settings.value(settingsKey(keyPath));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

Status ClassRegistry::registerClass(const QString &progId, const QString &classId,
                                    const QString &libraryPath) const
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(settingsKey(progId + QStringLiteral("\\Clsid")), classId);
    settings.setValue(
        settingsKey(QStringLiteral("Clsid\\") + classId + QStringLiteral("\\InprocServer32")),
        libraryPath);
    settings.sync();
    if (settings.status() != QSettings::NoError || !settings.isWritable())
        return ErrorInfo{
            -2147024891, // access denied
            QStringLiteral("Can not write the class registration %1").arg(settings.fileName())};
    return {};
}

std::optional<QString> ClassRegistry::libraryOf(const QString &progId) const
{
    const std::optional<QString> classId = readDefault(progId + QStringLiteral("\\Clsid"));
    if (!classId)
        return std::nullopt;
    return readDefault(QStringLiteral("Clsid\\") + *classId + QStringLiteral("\\InprocServer32"));
}

QString ClassRegistry::userFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, Organization, Application)
        .fileName();
}
