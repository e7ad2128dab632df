// Where a recording takes its picture from: the tool's input arguments for the screen and the
// chosen sounds, and whatever has to run beside the tool while it records.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class ToolRun;

class CaptureSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Gets the capture ready; it may ask the system (a share dialog) and take a while. Never
    // blocks; ends with exactly one prepared() or failed().
    virtual void prepare() = 0;
    // The tool's input arguments: the PulseAudio sources `audioSources` (none, one, or two that
    // the caller mixes into one track) and the picture. Every input's timestamps are put on one
    // timeline whose 0 is `startSeconds`, wall-clock seconds since the epoch just before the run
    // starts. Called once per recording, after prepared().
    virtual QStringList inputArguments(const QStringList& audioSources, double startSeconds) = 0;
    // The tool's filter that brings the picture input to the file's pixel format (yuv420p);
    // empty when it already is.
    virtual QString pictureFilter() const { return {}; }
    // Whether the capture writes the pictures into the tool itself: the run then ends with the
    // end of that input (see finishFeeding()).
    virtual bool feedsTool() const { return false; }
    // The run is about to start: a capture that feeds the tool itself sets up `run` here (its
    // child process set-up, say).
    virtual void beforeStart(ToolRun& run) { Q_UNUSED(run) }
    // The run has started (or failed to): start or stop feeding it.
    virtual void started(bool running) { Q_UNUSED(running) }
    // The recording is to end now. A capture that feeds the tool itself hands over the pictures
    // up to this moment and then ends its input, which ends the tool's run once it has taken
    // them. False: the tool is to be asked to quit.
    virtual bool finishFeeding() { return false; }
    // The recording has ended: stop feeding and give back what prepare() took. Safe to call
    // more than once, and before prepare() has ended.
    virtual void release() {}

Q_SIGNALS:
    void prepared();
    // Why the capture cannot start, as a sentence for the user. `canceled`: the user declined
    // the system's share dialog (told briefly, not as a failure).
    void failed(const QString& reason, bool canceled);
    // The picture went away while recording (the share was revoked, the stream ended).
    void lost(const QString& reason);
};
