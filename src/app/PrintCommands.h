#pragma once
// File > Print and File > Print Setup: the note's text on the current printer,
// and the system's printer dialog that chooses it.

class frm_Quillpad;

namespace PrintCommands {

void printClip(frm_Quillpad &frm);
void printSetup(frm_Quillpad &frm);

} // namespace PrintCommands
