#pragma once
// File > Print and File > Print Setup: the note's text on the current printer,
// and the system's printer dialog that chooses it.

#include <QString>

class QPrinter;
class frm_Quillpad;

namespace PrintCommands {

void printClip(frm_Quillpad &frm);
void printSetup(frm_Quillpad &frm);

// Lays text out as plain text in the printer's default font, page by page,
// as one job. False, with the reason, when the job could not be done.
bool printText(QPrinter &printer, const QString &text, QString *error);

// The text that names where a job went: the printer, or the output file.
QString printerIdentity(const QPrinter &printer);

} // namespace PrintCommands
