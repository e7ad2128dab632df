// Where Vistrel keeps a user's files, and the one-time move of settings kept beside the
// executable.
#include "app/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

QString stateFolderFor(const QProcessEnvironment& env)
{
    const QString state = env.value(QStringLiteral("XDG_STATE_HOME"));
    if (QDir::isAbsolutePath(state))
        return QDir::cleanPath(state + QStringLiteral("/vistrel"));
    const QString home = env.value(QStringLiteral("HOME"));
    if (QDir::isAbsolutePath(home))
        return QDir::cleanPath(home + QStringLiteral("/.local/state/vistrel"));
    return {};
}

bool makePrivateFolder(const QString& folder, QString* error)
{
    // The missing levels, outermost first; XDG folders that do not exist are made 0700.
    QStringList missing;
    for (QString path = QDir::cleanPath(folder); !QFileInfo::exists(path);
         path = QFileInfo(path).path())
        missing.prepend(path);
    for (const QString& path : std::as_const(missing)) {
        // Another start (of this program or of a part of the desktop) may make it meanwhile.
        if (!QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
            !QFileInfo(path).isDir()) {
            *error = QStringLiteral("cannot create the folder %1").arg(path);
            return false;
        }
    }
    if (!QFileInfo(folder).isDir()) {
        *error = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    return true;
}

QString workJournalFile()
{
    const QString folder = stateFolderFor(QProcessEnvironment::systemEnvironment());
    QString error;
    if (folder.isEmpty() || !makePrivateFolder(folder, &error))
        return {};
    return folder + QStringLiteral("/work-folders");
}

QString settingsFileIn(const QString& folder)
{
    return folder + QStringLiteral("/ScreenRecord.ini");
}

QString userSettingsFile()
{
    return settingsFileIn(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

SettingsAdoption adoptEarlierSettings(const QString& earlierFile, const QString& settingsFile,
                                      QString* error)
{
    if (QFileInfo::exists(settingsFile))
        return SettingsAdoption::Kept;
    if (!QFileInfo::exists(earlierFile))
        return SettingsAdoption::NothingEarlier;
    const QSettings earlier(earlierFile, QSettings::IniFormat);
    if (earlier.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot read %1").arg(earlierFile);
        return SettingsAdoption::Failed;
    }
    const QStringList keys = earlier.allKeys();
    if (keys.isEmpty())
        return SettingsAdoption::NothingEarlier;
    QSettings settings(settingsFile, QSettings::IniFormat);
    for (const QString& key : keys)
        settings.setValue(key, earlier.value(key));
    settings.sync();
    if (settings.status() != QSettings::NoError || !QFileInfo::exists(settingsFile)) {
        *error = QStringLiteral("cannot write %1").arg(settingsFile);
        return SettingsAdoption::Failed;
    }
    return SettingsAdoption::Adopted;
}

QString saveFolderFromSetting(const QString& stored, const QString& home)
{
    QString path = stored.trimmed().isEmpty() ? QStringLiteral("ScreenSave") : stored;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = path.mid(path.size() > 1 ? 2 : 1);
    return QDir::cleanPath(QDir(home).absoluteFilePath(path));
}
