// The percentage of a merge job: every input is converted once and then joined once.
#pragma once

#include "media/ToolOutput.h"

#include <QVector>

// Turns the tool's time= positions of the conversion runs and the join into one percentage.
// The budget is twice the inputs' total duration. An input of unknown length weighs as much as
// the mean of the known ones (1 s when none is known) and counts when its conversion ends.
// The percentage never goes backwards and stays at most 99: only the final report says 100.
class MergeProgress final
{
public:
    // Starts a job over inputs lasting `durations` seconds (<= 0: unknown).
    void start(const QVector<double>& durations);
    // The conversion of input `index` (from 0) has reached `seconds`; returns the percentage.
    int conversion(int index, double seconds);
    // The conversion of input `index` has ended.
    void conversionDone(int index);
    // The join has reached `seconds` of the joined output; returns the percentage.
    int join(double seconds);
    int percent() const { return m_tracker.percent(); }

private:
    QVector<double> m_known;   // seconds, 0 when unknown
    QVector<double> m_weights; // seconds each input counts for, per run
    double m_knownTotal = 0;
    double m_weightTotal = 0;
    ProgressTracker m_tracker;
};
