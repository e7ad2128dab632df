// Lists the sound server's sources and sinks in the background: both listing runs of the media
// tool go at once, and nobody waits for them.
#pragma once

#include "media/DeviceList.h"
#include "media/ToolRun.h"

#include <QObject>
#include <QVector>

class PulseListing final : public QObject
{
    Q_OBJECT
public:
    explicit PulseListing(QObject* parent = nullptr);

    // The media tool to run (default: ToolRun::defaultProgram()); applies to the next start.
    void setProgram(const QString& program) { m_program = program; }
    // Starts both listings, dropping any still going. Never blocks; ends with one finished(),
    // also when the tool cannot be started or the server cannot be reached.
    void start();
    // A listing is going.
    bool isRunning() const { return m_sources || m_sinks; }

Q_SIGNALS:
    // The sources and sinks, in listed order; none when they could not be listed.
    void finished(const QVector<PulseDevice>& sources, const QVector<PulseDevice>& sinks);

private:
    ToolRun* launch(bool sinks, QString* text);
    void onRunFinished(ToolRun* run);
    static void retire(ToolRun* run);

    QString m_program;
    ToolRun* m_sources = nullptr;
    ToolRun* m_sinks = nullptr;
    QString m_sourcesText;
    QString m_sinksText;
};
