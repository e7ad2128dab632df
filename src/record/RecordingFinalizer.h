// Turns a recording's working file into its named MP4: trimmed to the first frame, index first.
#pragma once

#include "media/ToolRun.h"
#include "support/WorkingFile.h"

#include <QObject>
#include <QString>

// How a finalisation ended.
struct FinalizeOutcome {
    enum class Kind {
        Finalised, // the named file is complete; the working file is gone
        KeptAsIs,  // it could not be finalised; the working file was renamed to the name as it is
        Nothing,   // the working file held no picture (or did not exist) and is gone
        Aborted,   // stopped by abort(); the working file stays for the next start-up
    };
    Kind kind = Kind::Nothing;
    QString workPath;
    QString finalPath; // the file the user now has (Finalised, KeptAsIs)
    QString reason;    // why it was kept as is
};

class RecordingFinalizer final : public QObject
{
    Q_OBJECT
public:
    explicit RecordingFinalizer(QObject* parent = nullptr);

    // The media tool to run (tests pass another). Default: ToolRun::defaultProgram().
    void setProgram(const QString& program);

    // Starts finalising `workPath` into `finalPath` (or its "(n)" form when that is taken by
    // then). Never blocks; ends with exactly one finished(), also when there is nothing to do.
    // Returns false (and does nothing) while a finalisation is going.
    bool start(const QString& workPath, const QString& finalPath);
    bool isRunning() const { return m_running; }
    // Stops the finalisation: its runs are canceled, a partial output is removed and the
    // working file is left as it was. finished() follows with Aborted.
    void abort();

Q_SIGNALS:
    void finished(const FinalizeOutcome& outcome);

private:
    void onProbeFinished(const ToolResult& result);
    void onCopyFinished(const ToolResult& result);
    void keepAsIs(const QString& reason);
    void concludeLater(FinalizeOutcome outcome);
    void conclude(const FinalizeOutcome& outcome);

    ToolRun* m_probe = nullptr;
    ToolRun* m_copy = nullptr;
    QStringList m_probeLines;
    QString m_workPath;
    QString m_finalPath;
    QString m_tempPath;
    WorkLock m_tempLock; // so that another start does not take the copy for a crash's leftover
    bool m_running = false;
    bool m_aborted = false;
};
