#pragma once

#include <QDate>
#include <QFile>
#include <QMap>
#include <QString>
#include <QTime>
#include <edflib.h>
#include <vector>

// An EDF+ file read back with EDFlib: its first signal, every digital
// sample, its start and its annotations' onsets in seconds, by their text.
struct EdfReadBack
{
    bool ok = false;
    int fileType = -1, signalCount = 0;
    edf_param_struct signal {};
    double rateHz = 0.0;
    std::vector<int> samples;
    QDate startDate;
    QTime startTime;
    QMap<QString, QList<double>> notes;

    explicit EdfReadBack(const QString &path)
    {
        edf_hdr_struct h {};
        if (edfopen_file_readonly(QFile::encodeName(path).constData(), &h, EDFLIB_READ_ALL_ANNOTATIONS) != 0)
            return;
        fileType = h.filetype;
        signalCount = h.edfsignals;
        signal = h.signalparam[0];
        rateHz = double(signal.smp_in_datarecord) * EDFLIB_TIME_DIMENSION / double(h.datarecord_duration);
        samples.resize(size_t(signal.smp_in_file));
        ok = edfread_digital_samples(h.handle, 0, int(samples.size()), samples.data()) == int(samples.size());
        startDate = QDate(h.startdate_year, h.startdate_month, h.startdate_day);
        startTime = QTime(h.starttime_hour, h.starttime_minute, h.starttime_second, int(h.starttime_subsecond / 10000));
        for (long long i = 0; i < h.annotations_in_file; ++i) {
            edf_annotation_struct a {};
            ok = ok && edf_get_annotation(h.handle, int(i), &a) == 0;
            notes[QString::fromUtf8(a.annotation)] << double(a.onset) / EDFLIB_TIME_DIMENSION;
        }
        edfclose_file(h.handle);
    }
};
