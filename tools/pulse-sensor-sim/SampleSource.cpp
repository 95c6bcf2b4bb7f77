#include "SampleSource.h"

#include <cassert>

PulseSource::PulseSource(const PulseModel::Config &config, const SensorSettings &settings)
    : model_(config)
{
    apply(settings);
}

void PulseSource::apply(const SensorSettings &settings)
{
    model_.setGain(settings.gain);
    model_.setBaseline(settings.baseline);
    model_.setSamplingRate(settings.rateHz);
}

FileSource::FileSource(std::vector<std::uint8_t> bytes)
    : bytes_(std::move(bytes))
{
    assert(!bytes_.empty());
}

std::uint8_t FileSource::next()
{
    const std::uint8_t byte = bytes_[position_];
    position_ = (position_ + 1) % bytes_.size();
    return byte;
}
