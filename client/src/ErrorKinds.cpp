#include <array>

#include "vexar/error.hpp"
#include "vexar/json.hpp"

namespace vexar {

namespace {
// Busy and Disconnected keep the bus failure's exit status: scripts that told a held adapter by
// status 4 still do, and the kind tells it from a failed transfer. Unsupported exits as bad input
// does, since the same command line cannot work on that backend however often it is run; on the
// panel it conflicts with the backend the panel was started on.
constexpr std::array<ErrorKindInfo, 8> kKinds{{
    {ErrorKind::Refused, "Refused", 1, 422, "Refused"},
    {ErrorKind::BadInput, "BadInput", 2, 400, "BadInput"},
    {ErrorKind::LoadFailure, "LoadFailure", 3, 500, "LoadError"},
    {ErrorKind::BusFailure, "BusFailure", 4, 502, "BusError"},
    {ErrorKind::Busy, "Busy", 4, 503, "Busy"},
    {ErrorKind::Unsupported, "Unsupported", 2, 409, "Unsupported"},
    {ErrorKind::Internal, "Internal", 70, 500, "Error"},
    {ErrorKind::Disconnected, "Disconnected", 4, 503, "Disconnected"},
}};

static_assert([] {
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (static_cast<std::size_t>(kKinds[i].kind) != i + 1) return false;
    }
    return true;
}());

Json orNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}
}  // namespace

std::span<const ErrorKindInfo> errorKinds() {
    return kKinds;
}

const ErrorKindInfo& kindInfo(ErrorKind kind) {
    const auto index = static_cast<std::size_t>(kind) - 1;
    return index < kKinds.size() ? kKinds[index]
                                 : kKinds[static_cast<std::size_t>(ErrorKind::Internal) - 1];
}

Json toJson(const Error& error) {
    return Json{{"kind", std::string(kindInfo(error.kind()).name)},
                {"code", error.code() ? Json(*error.code()) : Json(nullptr)},
                {"code_name", orNull(error.codeName())},
                {"message", error.what()},
                {"allowed", orNull(error.allowed())},
                {"errno", error.busErrno() ? Json(*error.busErrno()) : Json(nullptr)}};
}

std::string Error::codeName() const {
    if (!details_.code) {
        return {};
    }
    const std::string described = describeCode(*details_.code);
    return described.substr(0, described.find(' '));
}

}  // namespace vexar
