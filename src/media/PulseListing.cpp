// Lists the sound server's sources and sinks in the background.
#include "media/PulseListing.h"

namespace
{

// Listing runs answer at once; one that does not is killed, as the one-file probe is.
constexpr int kListingLimitMs = 30000;

} // namespace

PulseListing::PulseListing(QObject* parent) : QObject(parent), m_program(ToolRun::defaultProgram())
{
}

void PulseListing::retire(ToolRun* run)
{
    if (!run)
        return;
    run->disconnect();
    QObject::connect(run, &ToolRun::finished, run, &QObject::deleteLater);
    run->cancel();
    if (!run->isRunning())
        run->deleteLater();
}

void PulseListing::start()
{
    retire(m_sources);
    retire(m_sinks);
    m_sourcesText.clear();
    m_sinksText.clear();
    m_sources = launch(false, &m_sourcesText);
    m_sinks = launch(true, &m_sinksText);
}

ToolRun* PulseListing::launch(bool sinks, QString* text)
{
    auto* run = new ToolRun(this);
    run->setProgram(m_program);
    run->setTimeLimit(kListingLimitMs);
    connect(run, &ToolRun::readyRead, this, [run, text] {
        for (const QString& line : run->takeLines())
            *text += line + QLatin1Char('\n');
    });
    connect(run, &ToolRun::finished, this, [this, run] { onRunFinished(run); });
    // The listing exits 0 also when it fails ("Cannot list sources: ..."): the lines decide.
    run->start(pulseListArguments(sinks));
    return run;
}

void PulseListing::onRunFinished(ToolRun* run)
{
    // A run that cannot start reports from the event loop, so both are set by now.
    if (run == m_sources)
        m_sources = nullptr;
    else if (run == m_sinks)
        m_sinks = nullptr;
    run->deleteLater();
    if (m_sources || m_sinks)
        return;
    Q_EMIT finished(parsePulseListing(m_sourcesText), parsePulseListing(m_sinksText));
}
