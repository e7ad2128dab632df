// Parsing of the media tool's capture-device listings and the sound choices built from them.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One line of a PulseAudio listing ("* mic [Built-in Microphone] (none)").
struct PulseDevice {
    QString name;        // what "-f pulse -i" takes
    QString description; // the text in brackets
    bool isDefault = false;
    bool isMonitor = false; // the ".monitor" source of a sink
};

// Arguments of the listing run for PulseAudio sources ("-sources pulse") or sinks.
QStringList pulseListArguments(bool sinks);

// The devices of a "-sources pulse" or "-sinks pulse" listing, in listed order. A listing that
// failed ("Cannot list sources: ...") gives none.
QVector<PulseDevice> parsePulseListing(const QString& text);

// The two capture devices a recording can take sound from, as indexes into the source list;
// -1 when there is none.
struct CaptureDevices {
    int mic = -1;
    int sys = -1;
};

// Microphone: the default source unless it is a monitor, else the first non-monitor source.
// Computer sounds: the monitor of the default sink, else the first monitor source.
CaptureDevices choosePulseDevices(const QVector<PulseDevice>& sources,
                                  const QVector<PulseDevice>& sinks);

// One item of the record page's sound box: untranslated text (context "QWidget") and the
// user-role data (-1 both, -2 none, else a device index).
struct AudioChoice {
    const char* text = "";
    int data = -2;
};

constexpr int kAudioBoth = -1;
constexpr int kAudioNone = -2;

// The discovered sound choices in the box's order: both (when both exist and differ), computer
// sounds, microphone. "None" is not among them; the record page appends it.
QVector<AudioChoice> audioChoices(int mic, int sys);
