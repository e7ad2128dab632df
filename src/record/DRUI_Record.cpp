// The record page and the recording (placeholder until the recorder lands).
#include "app/DRUI.h"

#include <QLabel>
#include <QVBoxLayout>

void DRUI::InitLayout2Widget()
{
    delete m_pLayout2Widget;
    m_pLayout2Widget = new QWidget(this);
    auto* layout = new QVBoxLayout(m_pLayout2Widget);
    layout->addWidget(new QLabel(QStringLiteral("Record")));
}
void DRUI::StartQProcessRecord() {}
void DRUI::StopRecordingForExit() {}
void DRUI::btnSlotRecord() {}
void DRUI::btnSlotLayout2Dir() {}
void DRUI::btnSlotMenuStop() {}
void DRUI::doTimerRec() {}
void DRUI::ReadRecordInfo() {}
