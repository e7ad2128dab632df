// The cut page and the cut job (placeholder until the editor lands).
#include "app/DRUI.h"

#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

void DRUI::InitLayout3Widget()
{
    delete m_pLayout3Widget;
    m_pLayout3Widget = new QWidget(this);
    auto* layout = new QVBoxLayout(m_pLayout3Widget);
    layout->addWidget(new QLabel(QStringLiteral("Cut")));
}
QTableWidget* DRUI::CreateCutVideoTable()
{
    return nullptr;
}
void DRUI::CutDirFocusOut() {}
int DRUI::StartQProcessCut()
{
    return 0;
}
void DRUI::btnMontageSlot()
{
    m_pStackedLayout->setCurrentIndex(2);
}
void DRUI::btnSlotLayout3Dir() {}
void DRUI::btnSlotLayout3Cut() {}
void DRUI::current(int) {}
void DRUI::btnSetHead() {}
void DRUI::btnSetTail() {}
void DRUI::CutTableItemClick(QTableWidgetItem*) {}
void DRUI::CutTableItemDoubleClick(QTableWidgetItem*) {}
void DRUI::ReadCutInfo() {}
