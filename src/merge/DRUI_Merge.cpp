// The merge page and the merge job (placeholder until the editor lands).
#include "app/DRUI.h"

#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

void DRUI::InitLayout4Widget()
{
    delete m_pLayout4Widget;
    m_pLayout4Widget = new QWidget(this);
    auto* layout = new QVBoxLayout(m_pLayout4Widget);
    layout->addWidget(new QLabel(QStringLiteral("Merge")));
}
QTableWidget* DRUI::CreateSourceVideoTable()
{
    return nullptr;
}
QTableWidget* DRUI::CreateTargetVideoTable()
{
    return nullptr;
}
void DRUI::MergeDirFocusOut() {}
int DRUI::StartQProcessMerge()
{
    return 0;
}
int DRUI::ChangeToTS(const QString&, const QString&, const QString&)
{
    return 0;
}
void DRUI::btnEditSlot()
{
    m_pStackedLayout->setCurrentIndex(3);
}
void DRUI::btnAddSlot() {}
void DRUI::btnSlotLayout4Dir() {}
void DRUI::btnSlotLayout4Merge() {}
void DRUI::btnUpSlot() {}
void DRUI::btnDownSlot() {}
void DRUI::btnDelSlot() {}
void DRUI::TargetTableItemClick(QTableWidgetItem*) {}
void DRUI::SourceTableItemClick(QTableWidgetItem*) {}
void DRUI::SourceTableItemDoubleClick(QTableWidgetItem*) {}
void DRUI::ReadMergeInfo() {}
void DRUI::ReadChange2TSInfo() {}
