#pragma once

#include "CommandParser.h"
#include "PulseModel.h"

#include <cstdint>
#include <memory>
#include <vector>

// Where the streamed samples come from. Each call of next() is one sample
// that goes on the line, so ramps and files stay unbroken across stops.
class SampleSource
{
public:
    virtual ~SampleSource() = default;
    virtual std::uint8_t next() = 0;
    // The sensor's settings changed; only the pulse listens.
    virtual void apply(const SensorSettings &) { }
};

class PulseSource final : public SampleSource
{
public:
    PulseSource(const PulseModel::Config &config, const SensorSettings &settings);
    std::uint8_t next() override { return model_.nextByte(); }
    void apply(const SensorSettings &settings) override;

private:
    PulseModel model_;
};

// 0, 1, ..., 255, 0, 1, ...: every sample's value tells its position.
class RampSource final : public SampleSource
{
public:
    std::uint8_t next() override { return value_++; }

private:
    std::uint8_t value_ = 0;
};

// The given bytes over and over; they must not be empty.
class FileSource final : public SampleSource
{
public:
    explicit FileSource(std::vector<std::uint8_t> bytes);
    std::uint8_t next() override;

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};
