// The x264 settings under which re-encoded pictures carry a source's parameter sets (SPS and
// PPS) unchanged, so that they can stand in front of the source's own pictures in one track.
#pragma once

#include <QHash>
#include <QString>

// A preset and the "-x264-params" that refine it.
struct X264Settings {
    QString preset;
    QString params;  // "key=value:key=value"
    QString problem; // not empty: the source's settings cannot be reproduced, and why (for the log)
};

// The settings read from x264's info string (the options it wrote into the source's first
// picture). `levelIdc` is the source's level_idc (0: x264 chooses). The quality is the source's
// with the quantiser held at most 3 below the constant rate factor, which the parameter sets do
// not record: the re-encoded pictures come out close to the source's at about twice their size.
X264Settings x264SettingsFromInfo(const QString& info, int levelIdc);

// The settings guessed from the fields of the source's sequence and picture parameter sets
// (values by the names trace_headers prints), for a file whose first picture lost the info
// string when it was cut before. Whether the guess holds is checked on the result.
X264Settings x264SettingsFromFields(const QHash<QString, qint64>& sps,
                                    const QHash<QString, qint64>& pps);
