// Reads an EDF+ file back with EDFlib, as a biosignal viewer would, and
// prints what the end-to-end tests compare: the first signal's rate and
// digital samples, then every annotation with its onset in seconds.
//
//   edf_dump FILE  ->  "rate HZ" / "samples V V ..." / "note SECONDS TEXT"...
#include <cstdio>
#include <edflib.h>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: edf_dump FILE\n");
        return 2;
    }
    edf_hdr_struct h {};
    if (edfopen_file_readonly(argv[1], &h, EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        std::fprintf(stderr, "edf_dump: EDFlib cannot read %s (error %d)\n", argv[1], h.filetype);
        return 1;
    }
    const auto &signal = h.signalparam[0];
    std::printf("rate %g\n", double(signal.smp_in_datarecord) * EDFLIB_TIME_DIMENSION / double(h.datarecord_duration));
    std::vector<int> samples(size_t(signal.smp_in_file));
    const int read = edfread_digital_samples(h.handle, 0, int(samples.size()), samples.data());
    std::printf("samples");
    for (int i = 0; i < read; ++i)
        std::printf(" %d", samples[size_t(i)]);
    std::printf("\n");
    for (long long n = 0; n < h.annotations_in_file; ++n) {
        edf_annotation_struct a {};
        if (edf_get_annotation(h.handle, int(n), &a) == 0)
            std::printf("note %.4f %s\n", double(a.onset) / EDFLIB_TIME_DIMENSION, a.annotation);
    }
    edfclose_file(h.handle);
    return read == int(samples.size()) ? 0 : 1;
}
