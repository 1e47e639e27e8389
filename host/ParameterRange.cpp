#include "host/ParameterRange.h"

#include <algorithm>
#include <utility>

#include "RangeWireFormat.h"
#include "interface/ByteOrder.h"
#include "vexar_param_interp.h"

namespace Lumivor {

namespace {

// Header, then per bound triple three 4-byte values, or a count and the values of a set.
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kValueBytes = 4;
constexpr std::size_t kBoundsBytes = 3 * kValueBytes;

void writeHeader(Bytes::Writer& out, ParameterRangeTypeInternal kind, ValueType element) {
    out.u8(RangeWire::kVersion);
    out.u8(static_cast<std::uint8_t>(kind));
    out.u8(static_cast<std::uint8_t>(code(element)));
    out.u8(0);
}

void writeValue(Bytes::Writer& out, int v) {
    out.i32(v);
}
void writeValue(Bytes::Writer& out, float v) {
    out.f32(v);
}

template <typename T>
void writeBounds(Bytes::Writer& out, const ParameterRangeInternal<T>& range) {
    writeValue(out, range.getMin());
    writeValue(out, range.getMax());
    writeValue(out, range.getStep());
}

// The size protocol every range shares: *size carries the capacity in and the byte count out.
std::int32_t deliver(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer,
                     std::uint32_t* size) {
    if (size == nullptr) {
        return VEXAR_INVALID_ARGUMENT;
    }
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (*size < needed) {
        *size = needed;
        return VEXAR_BUFFER_TOO_SMALL;
    }
    if (buffer == nullptr) {
        return VEXAR_INVALID_ARGUMENT;
    }
    std::copy(bytes.begin(), bytes.end(), buffer);
    *size = needed;
    return VEXAR_SUCCESS;
}

}  // namespace

namespace Utils {

// The creator holds the first reference.
Refcounted::Refcounted() : references_(1) {}
Refcounted::~Refcounted() = default;

void Refcounted::incref() {
    ++references_;
}

void Refcounted::decref() {
    if (--references_ == 0) {
        delete this;
    }
}

std::uint32_t Refcounted::referenceCount() const {
    return references_;
}

}  // namespace Utils

ParameterRangeBaseInternal::ParameterRangeBaseInternal(ParameterRangeTypeInternal type)
    : type_(type) {}
ParameterRangeBaseInternal::~ParameterRangeBaseInternal() = default;

ParameterRangeTypeInternal ParameterRangeBaseInternal::rangeType() const {
    return type_;
}

template <typename T>
ParameterRangeInternal<T>::ParameterRangeInternal(ParameterRangeTypeInternal type, T minimum,
                                                  T maximum, T step)
    : ParameterRangeBaseInternal(type), minimum_(minimum), maximum_(maximum), step_(step) {}

template <typename T>
ParameterRangeInternal<T>::~ParameterRangeInternal() = default;

template <typename T>
std::int32_t ParameterRangeInternal<T>::marshal(std::uint8_t* buffer, std::uint32_t* size) const {
    std::vector<std::uint8_t> bytes;
    Bytes::Writer out(bytes, kHeaderBytes + kBoundsBytes);
    writeHeader(out, MinMaxStepRange, RangeWire::kElementType<T>);
    writeBounds(out, *this);
    return deliver(bytes, buffer, size);
}

template <typename T>
T ParameterRangeInternal<T>::getMin() const {
    return minimum_;
}

template <typename T>
T ParameterRangeInternal<T>::getMax() const {
    return maximum_;
}

template <typename T>
T ParameterRangeInternal<T>::getStep() const {
    return step_;
}

template class ParameterRangeInternal<int>;
template class ParameterRangeInternal<float>;

template <typename T>
ParameterDiscreteSetInternal<T>::ParameterDiscreteSetInternal(std::vector<T> values)
    : ParameterRangeBaseInternal(DiscreteSetRange), values_(std::move(values)) {}

template <typename T>
ParameterDiscreteSetInternal<T>::~ParameterDiscreteSetInternal() = default;

template <typename T>
std::int32_t ParameterDiscreteSetInternal<T>::marshal(std::uint8_t* buffer,
                                                      std::uint32_t* size) const {
    std::vector<std::uint8_t> bytes;
    Bytes::Writer out(bytes, kHeaderBytes + kValueBytes + values_.size() * kValueBytes);
    writeHeader(out, DiscreteSetRange, RangeWire::kElementType<T>);
    out.u32(static_cast<std::uint32_t>(values_.size()));
    for (const T v : values_) {
        writeValue(out, v);
    }
    return deliver(bytes, buffer, size);
}

template <typename T>
std::vector<T> ParameterDiscreteSetInternal<T>::getSupportedValues() const {
    return values_;
}

template class ParameterDiscreteSetInternal<int>;

RegionOfInterestRangeInternal::RegionOfInterestRangeInternal(ParameterRangeInternal<int>* x,
                                                             ParameterRangeInternal<int>* y,
                                                             ParameterRangeInternal<int>* width,
                                                             ParameterRangeInternal<int>* height)
    : ParameterRangeBaseInternal(RegionOfInterestRange),
      x_(x),
      y_(y),
      width_(width),
      height_(height) {}

RegionOfInterestRangeInternal::~RegionOfInterestRangeInternal() {
    delete x_;
    delete y_;
    delete width_;
    delete height_;
}

std::int32_t RegionOfInterestRangeInternal::marshal(std::uint8_t* buffer,
                                                    std::uint32_t* size) const {
    const ParameterRangeInternal<int>* components[] = {x_, y_, width_, height_};
    if (std::find(std::begin(components), std::end(components), nullptr) != std::end(components)) {
        return VEXAR_INVALID_ARGUMENT;  // built without one of its components
    }
    std::vector<std::uint8_t> bytes;
    Bytes::Writer out(bytes, kHeaderBytes + std::size(components) * kBoundsBytes);
    writeHeader(out, RegionOfInterestRange, ValueType::Int);
    for (const auto* component : components) {
        writeBounds(out, *component);
    }
    return deliver(bytes, buffer, size);
}

const ParameterRangeInternal<int>& RegionOfInterestRangeInternal::x() const {
    return *x_;
}
const ParameterRangeInternal<int>& RegionOfInterestRangeInternal::y() const {
    return *y_;
}
const ParameterRangeInternal<int>& RegionOfInterestRangeInternal::width() const {
    return *width_;
}
const ParameterRangeInternal<int>& RegionOfInterestRangeInternal::height() const {
    return *height_;
}

}  // namespace Lumivor
