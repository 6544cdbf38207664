#pragma once
// The note's text on a printer, as one job: the text engine lays it out for
// the page in the printer's default font and paints it with the view's own
// painter, page after page, a few pages at a time between the window's own
// events, so the window keeps painting. Past half a second a progress window
// offers Cancel, which aborts the job: nothing reaches the paper (or the
// file), and nothing is reported as printed.

#include <QString>

class QPrinter;
class QWidget;
class TextDocument;

namespace PrintJob {

enum class Outcome { Printed, Cancelled, Failed };

struct Result
{
    Outcome outcome = Outcome::Failed;
    QString error; // why it failed
};

Result print(QPrinter &printer, const TextDocument &document, QWidget *parent);

// The text that names where a job went: the printer, or the output file.
QString printerIdentity(const QPrinter &printer);

// Tests slow printing down to see the progress: a pause after each page.
void setPauseForTesting(int milliseconds);

} // namespace PrintJob
