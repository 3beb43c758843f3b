#pragma once
// The options window's rows for rejoining rooms and for the tray.

namespace kavel {

// The rows of the group below the check boxes: their height, built at y
// (which moves below them), taken by "Annehmen".
int sessionOptionRowsHeight();
void addSessionOptionRows(int window, int& y);
void takeSessionOptionRows();

}  // namespace kavel
