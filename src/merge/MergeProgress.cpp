// The percentage of a merge job: every input is converted once and then joined once.
#include "merge/MergeProgress.h"

#include <algorithm>

void MergeProgress::start(const QVector<double>& durations)
{
    m_known.clear();
    m_weights.clear();
    m_knownTotal = 0;
    int knownCount = 0;
    for (double d : durations) {
        const double known = d > 0 ? d : 0;
        m_known.append(known);
        m_knownTotal += known;
        if (known > 0)
            ++knownCount;
    }
    const double fallback = knownCount > 0 ? m_knownTotal / knownCount : 1.0;
    m_weightTotal = 0;
    for (double known : std::as_const(m_known)) {
        m_weights.append(known > 0 ? known : fallback);
        m_weightTotal += m_weights.last();
    }
    m_tracker.reset(2 * m_weightTotal);
}

int MergeProgress::conversion(int index, double seconds)
{
    if (index < 0 || index >= m_known.size() || m_known.at(index) <= 0)
        return m_tracker.percent();
    // A file that plays longer than its header says must not spill into the next file's share.
    return m_tracker.update(std::clamp(seconds, 0.0, m_known.at(index)));
}

void MergeProgress::conversionDone(int index)
{
    if (index >= 0 && index < m_weights.size())
        m_tracker.completeStage(m_weights.at(index));
}

int MergeProgress::join(double seconds)
{
    if (m_knownTotal <= 0)
        return m_tracker.percent();
    const double fraction = std::clamp(seconds / m_knownTotal, 0.0, 1.0);
    return m_tracker.update(fraction * m_weightTotal);
}
