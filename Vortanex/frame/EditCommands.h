#pragma once
// The standard edit commands, acting on the edit control that has the focus
// (a line, a text box, an editable combo or a spin box): Undo (57643, on the
// ribbon), Cut, Copy, Paste and Select All. The keys (Ctrl+Z, Ctrl+X,
// Ctrl+C, Ctrl+V, Ctrl+A and their Insert/Delete twins) reach the edit
// itself, and the frame binds none of them; the commands do the same from a
// button or a menu. Each is enabled while the focused edit can do it. UI
// thread.
class QWidget;

namespace ui {
class Commands;
}

inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_SELECT_ALL = 57642;

// window: whose focused control the commands act on when the application
// has no active window (its focus widget is the one that gets the keys back).
void InstallEditCommands(ui::Commands& commands, QWidget& window);
