#pragma once

#include <cstdint>
#include <vector>

#include "host/Export.h"

namespace Lumivor {

enum ParameterRangeTypeInternal : std::uint32_t {
    MinMaxStepRange = 0,
    DiscreteSetRange = 1,
    RegionOfInterestRange = 2,
};

namespace Utils {

// Intrusive reference count of host objects that plug-ins hand to the host.
class LUMIVOR_API Refcounted {
  public:
    Refcounted();
    Refcounted(const Refcounted&) = delete;
    Refcounted& operator=(const Refcounted&) = delete;

    virtual void incref();
    // Drops one reference and deletes the object when none is left.
    virtual void decref();
    virtual ~Refcounted();

    std::uint32_t referenceCount() const;

  private:
    std::uint32_t references_;
};

}  // namespace Utils

// A description of the values a parameter accepts, serialised for the host by marshal().
//
// marshal(buffer, size): *size is the buffer's capacity in bytes. When it is too small the
// needed size is stored in *size and BufferTooSmall returned (buffer may then be null);
// otherwise the bytes are written, *size set to their count, and Success returned. A null size,
// or a null buffer with enough capacity, is InvalidArgument. docs/host-formats.md has the bytes.
class LUMIVOR_API ParameterRangeBaseInternal : public Utils::Refcounted {
  public:
    explicit ParameterRangeBaseInternal(ParameterRangeTypeInternal type);
    ~ParameterRangeBaseInternal() override;

    virtual std::int32_t marshal(std::uint8_t* buffer, std::uint32_t* size) const = 0;

    ParameterRangeTypeInternal rangeType() const;

  private:
    ParameterRangeTypeInternal type_;
};

template <typename T>
class LUMIVOR_API ParameterRangeInternal : public ParameterRangeBaseInternal {
  public:
    ParameterRangeInternal(ParameterRangeTypeInternal type, T minimum, T maximum, T step);
    ~ParameterRangeInternal() override;

    std::int32_t marshal(std::uint8_t* buffer, std::uint32_t* size) const override;
    virtual T getMin() const;
    virtual T getMax() const;
    virtual T getStep() const;

  private:
    T minimum_;
    T maximum_;
    T step_;
};

extern template class ParameterRangeInternal<int>;
extern template class ParameterRangeInternal<float>;

template <typename T>
class LUMIVOR_API ParameterDiscreteSetInternal : public ParameterRangeBaseInternal {
  public:
    explicit ParameterDiscreteSetInternal(std::vector<T> values);
    ~ParameterDiscreteSetInternal() override;

    std::int32_t marshal(std::uint8_t* buffer, std::uint32_t* size) const override;
    virtual std::vector<T> getSupportedValues() const;

  private:
    std::vector<T> values_;
};

extern template class ParameterDiscreteSetInternal<int>;

// Takes over the four integer ranges and deletes them with itself.
class LUMIVOR_API RegionOfInterestRangeInternal : public ParameterRangeBaseInternal {
  public:
    RegionOfInterestRangeInternal(ParameterRangeInternal<int>* x, ParameterRangeInternal<int>* y,
                                  ParameterRangeInternal<int>* width,
                                  ParameterRangeInternal<int>* height);
    ~RegionOfInterestRangeInternal() override;

    std::int32_t marshal(std::uint8_t* buffer, std::uint32_t* size) const override;

    const ParameterRangeInternal<int>& x() const;
    const ParameterRangeInternal<int>& y() const;
    const ParameterRangeInternal<int>& width() const;
    const ParameterRangeInternal<int>& height() const;

  private:
    ParameterRangeInternal<int>* x_;
    ParameterRangeInternal<int>* y_;
    ParameterRangeInternal<int>* width_;
    ParameterRangeInternal<int>* height_;
};

}  // namespace Lumivor
