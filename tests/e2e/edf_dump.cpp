// Reads an EDF+ file back with EDFlib, as a biosignal viewer would, and
// prints what the end-to-end tests compare: the first signal's rate and
// digital samples, then every annotation with its onset in seconds.
//
//   edf_dump FILE  ->  "rate HZ" / "samples V V ..." / "note SECONDS TEXT"...
#include "EdfReadBack.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: edf_dump FILE\n");
        return 2;
    }
    const EdfReadBack edf(QString::fromLocal8Bit(argv[1]));
    if (!edf.ok) {
        std::fprintf(stderr, "edf_dump: EDFlib cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("rate %g\nsamples", edf.rateHz);
    for (int v : edf.samples)
        std::printf(" %d", v);
    std::printf("\n");
    for (auto note = edf.notes.cbegin(); note != edf.notes.cend(); ++note) {
        for (double onset : note.value())
            std::printf("note %.4f %s\n", onset, note.key().toUtf8().constData());
    }
    return 0;
}
