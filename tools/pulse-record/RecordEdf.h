#pragma once

#include "RecordSeries.h"
#include "acquire/RecordIndex.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Records as one EDF+ file, written with EDFlib: one signal, the pulse, in
// the sensor's own counts (digital and physical 0..255), the records one
// after the other in the order given. Annotations mark where each record
// begins, the slot a record does not hold, every detected beat, and the
// padding that fills the last data record.
class RecordEdf
{
public:
    struct Part
    {
        QString name;
        RecordSeries series;
        std::optional<RecordIndex::Entry> facts;
    };

    // Data records this long hold a whole number of samples at 200, 300, 400,
    // 500 and 1000 Hz and leave at most a tenth of a second of padding;
    // longer ones serve rates given otherwise.
    static constexpr double RecordSecondsChoices[] = {0.1, 0.2, 0.5, 1, 2, 5, 10};
    static constexpr int DigitalMin = 0;
    static constexpr int DigitalMax = 255;
    static inline const char *const Dimension = "counts";
    static inline const char *const Label = "Pulse";

    // An annotation at a sample of the file, lasting `samples` (-1: no duration).
    struct Note
    {
        qint64 sample = 0;
        qint64 samples = -1;
        QString text;
    };
    // One signal as one file: the first sample's time (EDF's "unknown" date
    // without one) and what the header's recording field adds.
    struct Signal
    {
        std::span<const std::uint8_t> samples;
        double rateHz = 0;
        std::optional<QDateTime> start;
        QByteArray additional;
        std::vector<Note> notes;
    };

    // The first of RecordSecondsChoices with a whole number of samples; 0 for none.
    static double recordSeconds(double rateHz);
    // The first sample's time: the Stop's time less the record's length.
    static std::optional<QDateTime> startOf(const Part &part, double rateHz);

    // Writes the file at `path` (EDFlib replaces whatever is there). On
    // failure, *error explains a rate EDF cannot hold and is empty otherwise.
    static bool write(const QString &path, const std::vector<Part> &parts, double rateHz, QString *error);
    // The same for any signal; the last data record is padded and says so.
    static bool write(const QString &path, const Signal &signal, QString *error);
    // A note at every detected beat of `samples`, which begin at sample `at`.
    static void addBeats(std::vector<Note> &notes, std::span<const std::uint8_t> samples, double rateHz, qint64 at);
};
