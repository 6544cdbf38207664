#pragma once
// File > Print and File > Print Setup: the note's text on the current printer,
// and the system's printer dialog that chooses it.

class ClipText;
class CommonDialog;

namespace PrintCommands {

void printClip(const ClipText &text);
void printSetup(CommonDialog &dialog);

} // namespace PrintCommands
