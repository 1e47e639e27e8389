#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Convert.h"
#include "vexar/watch.hpp"

namespace vexar::panel {

// The open event streams: each has a queue of its own, so that a slow reader delays nobody.
class EventHub {
  public:
    struct Stream;
    explicit EventHub(std::size_t maxStreams) : maxStreams_(maxStreams) {}
    // Nothing when as many streams are open as allowed, or the hub has stopped.
    std::shared_ptr<Stream> open();
    void close(const std::shared_ptr<Stream>& stream);
    // Called, without the hub's lock, whenever the stream has something new: an event, or its
    // end. A writer that cannot wait in next() learns here when to look again.
    void onChange(const std::shared_ptr<Stream>& stream, std::function<void()> wake);
    void publish(const std::string& event);
    enum class Next { Event, Idle, Ended };
    // The next event for the stream, Idle when none came within the wait (0: none waiting),
    // Ended once the hub stopped or the stream fell too far behind.
    Next next(const std::shared_ptr<Stream>& stream, std::string& event,
              std::chrono::milliseconds wait);
    void stop();
    // Until every stream has ended, or the wait is over.
    void awaitClosed(std::chrono::milliseconds wait);

  private:
    void wakeAll(const std::vector<std::function<void()>>& wakes);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::list<std::shared_ptr<Stream>> streams_;
    std::size_t maxStreams_;
    bool stopped_ = false;
};

// The camera as the panel shows it: every change goes through here, one at a time, numbered,
// and told to every event stream with what it did to the settings, the fields and the timing.
class Panel {
  public:
    // lockTimeout is the camera's, told to the page: how long an answer may take.
    // restore: the settings go back to the module when it reconnects.
    Panel(Camera& camera, std::size_t maxStreams, std::chrono::milliseconds lockTimeout,
          bool restore = false);
    ~Panel();

    Json camera();
    Json parameters();
    Json parameter(const std::string& name);
    Json fields();
    Json timing();
    std::string timingSvg();
    std::string timingText();
    Json profile();
    Json calibrationJson();
    std::vector<std::uint8_t> calibration();

    // Each answers the body of a success, or throws ActionError or the library's Error.
    Json set(const std::string& name, const Json& body);
    // force writes a profile of another module, and voltages nothing is known of at 50.
    Json applyProfile(const std::string& text, bool force);
    // What the profile, or the preset when one is named, would do, nothing written: its dry
    // run (toJson) with "preview", the number applyPreview writes it by.
    Json preview(const std::string& text, const std::string& preset, bool force);
    // The previewed write; a stale preview is refused with a fresh one in "preview".
    Json applyPreview(std::uint64_t id);
    Json reset();
    // Reconnects and writes back what the module was last known to hold: offered once it came
    // back without them (or was power-cycled behind an adapter that stayed).
    Json restore();
    Json writeCalibration(const std::string& body, bool json);
    // Past the plug-in: a sensor register ("0x183") or a field (its index) given a value.
    Json writeRegister(const std::string& address, const Json& body);
    Json writeField(const std::string& index, const Json& body);

    // Named presets, shared with the tool and the Python package.
    Json presets();
    Json savePreset(const std::string& name);
    Json loadPreset(const std::string& name, bool force);
    Json removePreset(const std::string& name);
    // Where the preset differs from what the module holds now.
    Json comparePreset(const std::string& name);

    // Looks for a change another process made and tells the streams of it; while the module is
    // disconnected, looks for it to come back instead.
    // Without look, only glances at the adapter's node (no transfer) and, while the module is
    // gone, tries to reconnect.
    void poll(bool look = true);

    EventHub& events() { return hub_; }
    // The first event of a new stream: everything the page shows, with the current number.
    std::string hello();

  private:
    struct Snapshot {
        Json parameters = Json::array();
        std::vector<Field> fields;
        Timing timing;
    };
    Snapshot read();
    // Reads the module; when it differs from what was last told, tells it as a change made
    // elsewhere. Called with mutex_ held.
    void refresh();
    // refresh() under a hold; Error(Disconnected) while the module is gone, and a disconnect
    // it meets is told first.
    void look();
    template <typename Action>
    Json act(const char* kind, Json what, Action&& action);
    std::string eventText(const char* type, const Json& data);
    Json changeEvent(const char* kind, const Json& what, const Snapshot& before);
    const Parameter& find(const std::string& name) const;
    Json applyDocument(const Profile& document, bool force, Json what);
    Timing currentTiming();
    // The module's adapter went away (the error told so): tells the streams. With mutex_ held.
    void lost(const Error& error);
    // Once it is back: a new plug-in instance, everything read again, and the streams told.
    void reconnected(const Reconnection& done, const char* kind,
                     const std::string& restoreFailed = {});

    Camera& camera_;
    std::mutex mutex_;
    std::vector<Parameter> parameters_;
    std::optional<Snapshot> last_;
    // What this panel last wrote to each write-only parameter, which the module cannot tell.
    std::map<std::string, Value> written_;
    std::uint64_t sequence_ = 0;
    // The latest previews, by number: a page shows one at a time, a few pages at once.
    static constexpr std::size_t kPreviews = 8;
    // Each preview by its number, with the preset it was of (empty for an upload).
    std::map<std::uint64_t, std::pair<DryRun, std::string>> previews_;
    std::uint64_t previewCount_ = 0;
    Json previewed(const Profile& document, bool force, const std::string& preset = {});
    std::vector<Transaction>* recording_ = nullptr;
    std::chrono::milliseconds lockTimeout_;
    // Says when every field is back at power-on: a reset, whoever made it. It looks after each
    // action and each change seen, so that its last look is always the last state told.
    std::optional<Watch> watch_;
    bool restoreOnReconnect_;
    // Why the module is disconnected; empty while it is there.
    std::string disconnected_;
    EventHub hub_;
};

}  // namespace vexar::panel
