#pragma once
// File > Open and File > Save As...: a text file into the note, the note into
// a text file, through the open and save dialogs of CMDialog1.

class frm_Quillpad;

namespace FileCommands {

inline constexpr const char *TextFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";

void openFile(frm_Quillpad &frm);
void saveFileAs(frm_Quillpad &frm);

} // namespace FileCommands
