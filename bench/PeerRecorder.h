// The peer the recording benchmark measures Vistrel against: Debian's simplescreenrecorder
// (0.4.4), driven headless through its standard input, with its own settings file in a private
// HOME, at the settings Vistrel records with.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>

namespace bench
{

class PeerRecorder final
{
public:
    // `work`: a folder of its own (HOME, settings, log); `session`: DISPLAY and PULSE_SERVER;
    // `source`: the PulseAudio source it records.
    PeerRecorder(const QString& work, const QMap<QString, QString>& session, const QString& source);
    ~PeerRecorder();

    static QString program();
    // Whether the program is installed.
    static bool available();

    // Starts the program (hidden, no tray icon) recording into `output` once record() is called;
    // true when it runs and reads its commands.
    bool launch(const QString& output);
    // "record-start"; the caller takes the time just before.
    void record();
    // "record-save" then "quit"; waits (event loop running) until the file is complete and the
    // program has exited. False when it did not end cleanly.
    bool saveAndQuit();
    qint64 processId() const { return m_process.processId(); }
    // The program's log so far (what it wrote on standard error).
    QString log() const { return m_log; }

private:
    void writeSettings(const QString& output) const;
    void readLog();

    QString m_work;
    QMap<QString, QString> m_session;
    QString m_source;
    QProcess m_process;
    QString m_log;
};

} // namespace bench
