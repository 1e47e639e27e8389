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
// The bus at a look: there, gone since this look (Error(Disconnected)), still gone, or back at
// this look (the camera reconnected, a new plug-in instance; the changes are then what differs
// from the last look before the loss).
enum class WatchedBus { There, WentAway, StillAway, CameBack };

struct WatchLook {
    std::vector<WatchedChange> changes;
    WatchedBus bus = WatchedBus::There;
    std::string why;  // WentAway: the disconnect's message
    // Every field is back at its power-on value while some were not at the last look: the
    // module was reset (or power-cycled).
    bool reset = false;
};

// Looks at a camera's parameters (the readable ones, or those named) and, with fields, at every
// field, each look one operation, and tells what differs from the look before. The first look
// only takes note. When the bus goes away, later looks try to reconnect (never restoring:
// watching writes nothing).
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
    bool away_ = false;
    std::vector<Seen> last_;
};

}  // namespace vexar
