#pragma once

#include <string>
#include <vector>

#include "vexar/camera.hpp"
#include "vexar/export.hpp"

namespace vexar {

// What changed on the module between two looks, as a watching face shows it.
struct WatchedChange {
    std::string name;  // a parameter's, or "field N NAME"
    Value before;
    Value after;
};
struct WatchLook {
    std::vector<WatchedChange> changes;
    // Every field is back at its power-on value while some were not at the last look: the
    // module was reset (or power-cycled).
    bool reset = false;
};

// Looks at a camera's parameters (the readable ones, or those named) and, with fields, at every
// field, each look one operation, and tells what differs from the look before. The first look
// only takes note.
class VEXAR_CLIENT_API Watch {
  public:
    // Error(BadInput) for a name no parameter has, or one that cannot be read.
    Watch(Camera& camera, const std::vector<std::string>& names, bool fields);
    WatchLook look();

  private:
    struct Seen {
        std::string name;
        Value value;
    };
    std::vector<Seen> read();
    Camera& camera_;
    std::vector<std::string> names_;
    bool fields_;
    bool first_ = true;
    bool atPowerOn_ = false;
    std::vector<Seen> last_;
};

}  // namespace vexar
