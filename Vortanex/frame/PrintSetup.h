#pragma once
// "Print Setup" (57606): the page set-up dialog through the prompter; the
// choice is kept for the program's print commands. UI thread.
#include "ui/prompter.h"

// The page the print commands use (A4 portrait, 10 mm margins until chosen).
const ui::PageSetup& CurrentPageSetup();
// The page chosen in a print dialog becomes the page of the later prints, as
// the print set-up's own choice does.
void SetCurrentPageSetup(const ui::PageSetup& page);
// Asks for a new page set-up; a cancelled dialog keeps the old one. True
// when the choice changed.
bool OnFilePrintSetup();
