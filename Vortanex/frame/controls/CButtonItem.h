#pragma once
// A push-button cell "Accept". A click sends its command to the grid's
// parent, Space or Enter to the grid itself (the grid's commandToParent and
// commandToGrid signals).
#include "ui/grid_model.h"

#include <QString>

class CButtonItem {
public:
    // The command id keeps the low 16 bits, as a command number does.
    CButtonItem(int column, int commandId) : m_column(column), m_command(commandId & 0xFFFF) {}

    static QString Caption() { return QStringLiteral("Accept"); }
    bool IsPushButton() const { return true; }
    int Column() const { return m_column; }
    int CommandId() const { return m_command; }

    // Puts the button into a row of the grid.
    void Place(ui::GridModel& model, int rowId) const { model.setButton(rowId, m_column, m_command, Caption()); }

private:
    int m_column;
    int m_command;
};
