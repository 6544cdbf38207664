// One save, as the note makes it, for tst_savefaults to run under the
// fault library: save_driver FILE NEW-TEXT writes the bytes of the file
// NEW-TEXT over FILE, put out a megabyte at a time as the encoder does, and
// prints what the save said:
//   saved | failed
//   file=as-it-was|new-text|may-be-damaged
//   old=PATH, new=PATH (where the texts are kept when the file may be damaged)
//   then the message in words.

#include "files/SafeSave.h"

#include <QFile>

#include <cstdio>

extern "C" {
// The fault library's markers; absent when it is not loaded.
void quillpad_faults_arm() __attribute__((weak));
void quillpad_faults_disarm() __attribute__((weak));
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    QFile source(QFile::decodeName(argv[2]));
    if (!source.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray text = source.readAll();
    source.close();

    SafeSave::Failure failure;
    if (quillpad_faults_arm)
        quillpad_faults_arm();
    const bool saved = SafeSave::write(QFile::decodeName(argv[1]), [&text](const SafeSave::Put &put) {
        constexpr qsizetype Piece = 1 << 20;
        for (qsizetype at = 0; at < text.size(); at += Piece) {
            if (!put(text.constData() + at, qMin(Piece, text.size() - at)))
                return false;
        }
        return true;
    }, &failure);
    if (quillpad_faults_disarm)
        quillpad_faults_disarm();

    using File = SafeSave::Failure::File;
    const char *file = failure.file == File::AsItWas ? "as-it-was"
        : failure.file == File::HoldsNewText         ? "new-text"
                                                     : "may-be-damaged";
    std::printf("%s\nfile=%s\nold=%s\nnew=%s\n%s\n", saved ? "saved" : "failed", file,
                failure.oldTextKeptIn.toLocal8Bit().constData(), failure.newTextKeptIn.toLocal8Bit().constData(),
                failure.describe().toLocal8Bit().constData());
    return 0;
}
