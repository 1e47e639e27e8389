#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "host/Export.h"

// The ROM container: records that a module keeps in its memory and that travel between host
// and plug-in as bytes. Only the configuration record (the module's calibration) exists here.
namespace Lumivor::ROM {

enum class ContainerSectionType : std::uint16_t {
    Configuration = 3,
};

// A container record. Records compare by content and serialise themselves.
class LUMIVOR_API Object {
  public:
    virtual ~Object();
    virtual ContainerSectionType getType() const = 0;
    virtual std::vector<std::uint8_t> serialize() const = 0;
    virtual bool operator==(const Object& other) const = 0;

  protected:
    Object() = default;
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;
};

// Every entry of a configuration record carries a 32-bit state word besides its data, set and
// read directly; the container stores it and gives it no meaning of its own.

// One phase offset of the module, in the sensor's phase units.
class LUMIVOR_API PhaseOffset {
  public:
    PhaseOffset() = default;
    explicit PhaseOffset(std::int16_t offset) : offset_(offset) {}

    std::int16_t offset() const { return offset_; }
    void setOffset(std::int16_t offset) { offset_ = offset; }

    bool operator==(const PhaseOffset&) const = default;

    std::uint32_t state = 0;

  private:
    std::int16_t offset_ = 0;
};

// Reference temperatures at which the module was calibrated, in degrees Celsius:
// [0] illumination, [1] sensor. Lists compare by the bits of their numbers, so that a record
// read back from its bytes equals the record written, NaNs included.
class LUMIVOR_API TemperatureCalibrationData {
  public:
    void setValues(std::vector<float> values);
    const std::vector<float>& values() const { return values_; }

    bool operator==(const TemperatureCalibrationData& other) const;

    std::uint32_t state = 0;

  private:
    std::vector<float> values_;
};

// Temperature-compensation coefficients and the kind of compensation they belong to;
// kind 0 means the module has no temperature compensation.
class LUMIVOR_API TemperatureCompensationData {
  public:
    TemperatureCompensationData() = default;
    explicit TemperatureCompensationData(std::uint32_t kind) : kind_(kind) {}

    void setValues(std::vector<float> values);
    const std::vector<float>& values() const { return values_; }
    std::uint32_t kind() const { return kind_; }
    void setKind(std::uint32_t kind) { kind_ = kind; }

    bool operator==(const TemperatureCompensationData& other) const;

    std::uint32_t state = 0;

  private:
    std::uint32_t kind_ = 0;
    std::vector<float> values_;
};

// The entries of a configuration record; the numbers are their tags in the serialised form.
enum class ConfigurationEntry : std::uint16_t {
    PhaseOffset1 = 1,
    PhaseOffset2 = 2,
    TemperatureCalibration1 = 3,
    TemperatureCompensation1 = 4,
};

// The module's calibration record. A default record has zero offsets, empty lists,
// compensation kind 0 and state words 0.
class LUMIVOR_API Configuration : public Object {
  public:
    // Makes the object that deserialize fills, from the record's section type and the section
    // number the caller of deserialize passed. Returns a new object (owned by deserialize from
    // then on), or null to refuse the record.
    using Factory = Object* (*)(void* user, ContainerSectionType type, std::uint16_t sectionNumber);

    Configuration();
    Configuration(const Configuration&);
    Configuration& operator=(const Configuration&);
    ~Configuration() override;

    ContainerSectionType getType() const override;
    std::vector<std::uint8_t> serialize() const override;
    bool operator==(const Object& other) const override;

    // Reads a serialised record. Every check on the bytes runs before the factory is called;
    // the factory is called only for a well-formed record, and its object is filled and
    // returned. Null when the bytes are malformed, when the factory is null or returns null,
    // or when its object is not a Configuration (that object is then deleted). The caller
    // owns the returned record and deletes it.
    static Configuration* deserialize(const std::vector<std::uint8_t>& bytes,
                                      std::uint16_t sectionNumber, Factory factory, void* user);

    void phaseOffset1(PhaseOffset value);
    void phaseOffset2(PhaseOffset value);
    void temperatureCalibration1(TemperatureCalibrationData value);
    void temperatureCompensation1(TemperatureCompensationData value);

    // The entries as stored, for their data and their state words.
    const PhaseOffset& phaseOffset1() const;
    const PhaseOffset& phaseOffset2() const;
    const TemperatureCalibrationData& temperatureCalibration1() const;
    const TemperatureCompensationData& temperatureCompensation1() const;
    PhaseOffset& phaseOffset1();
    PhaseOffset& phaseOffset2();
    TemperatureCalibrationData& temperatureCalibration1();
    TemperatureCompensationData& temperatureCompensation1();

    // Data of the entries in tag order; tag n is element n - 1.
    using Entries = std::tuple<PhaseOffset, PhaseOffset, TemperatureCalibrationData,
                               TemperatureCompensationData>;

  private:
    Entries entries_;
};

}  // namespace Lumivor::ROM
