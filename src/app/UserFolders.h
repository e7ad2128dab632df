// Where Vistrel keeps a user's files: the state folder the launcher starts the program in (its
// log), the settings file, and the one-time move of settings an earlier version kept beside the
// executable.
#pragma once

#include <QProcessEnvironment>
#include <QString>

// The user's state folder for Vistrel: $XDG_STATE_HOME/vistrel, or $HOME/.local/state/vistrel
// when XDG_STATE_HOME is unset, empty or relative (relative values are invalid and ignored).
// Empty when neither variable gives an absolute folder.
QString stateFolderFor(const QProcessEnvironment& env);

// Makes `folder` with its missing parents, each new one readable by its owner only (0700); an
// existing folder is left as it is. False, with `*error` telling why, when it cannot.
bool makePrivateFolder(const QString& folder, QString* error);

// The file that keeps the folders the program writes working files into ("work-folders" in
// the state folder, made when missing); empty when there is no state folder.
QString workJournalFile();

// "ScreenRecord.ini" in `folder`.
QString settingsFileIn(const QString& folder);

// The settings file of the program: ScreenRecord.ini in the user's config folder for the
// application's name (~/.config/Vistrel/ when the name is "Vistrel"). Computes; creates nothing.
QString userSettingsFile();

// The save folder a stored setting names, as an absolute path: "~" and a path relative to it
// (as a user writes one into the settings file by hand) are taken in `home`; an empty setting
// gives "ScreenSave" there. The program's working folder is never the base: it changes with
// how the program was started.
QString saveFolderFromSetting(const QString& stored, const QString& home);

enum class SettingsAdoption {
    Kept,           // the settings file exists already: nothing was read or written
    Adopted,        // the earlier file's values were written to the settings file
    NothingEarlier, // no earlier file, or one without values
    Failed,         // the values could not be read or written: `*error` says why
};

// When `settingsFile` does not exist, writes the values of `earlierFile` (the file an earlier
// version kept beside its executable) into it, making its folder. The earlier file is left as
// it is, so it is read once: later starts find the settings file.
SettingsAdoption adoptEarlierSettings(const QString& earlierFile, const QString& settingsFile,
                                      QString* error);
