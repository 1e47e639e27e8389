#include "Panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "vexar/presets.hpp"

namespace vexar::panel {

struct EventHub::Stream {
    std::deque<std::string> queue;
    bool ended = false;
    std::function<void()> wake;
};

namespace {

// A stream this far behind is a reader that stopped reading; it is ended rather than fed
// without bound, and the page reloads everything when it reconnects.
constexpr std::size_t kMaxQueued = 256;
// Enough to show what a profile did; a calibration write makes far fewer.
constexpr std::size_t kMaxTrace = 4096;

std::string dumpJson(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool sameFields(const std::vector<Field>& a, const std::vector<Field>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Field& x, const Field& y) { return x.value == y.value; });
}

Json changedFields(const std::vector<Field>& before, const std::vector<Field>& after) {
    Json changed = Json::array();
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i >= before.size() || before[i].value != after[i].value) {
            Json field = fieldJson(after[i]);
            field["was"] = i < before.size() ? Json(before[i].value) : Json(nullptr);
            changed.push_back(std::move(field));
        }
    }
    return changed;
}

}  // namespace

std::shared_ptr<EventHub::Stream> EventHub::open() {
    std::lock_guard lock(mutex_);
    if (stopped_ || streams_.size() >= maxStreams_) return nullptr;
    streams_.push_back(std::make_shared<Stream>());
    return streams_.back();
}

void EventHub::close(const std::shared_ptr<Stream>& stream) {
    {
        std::lock_guard lock(mutex_);
        streams_.remove(stream);
    }
    changed_.notify_all();
}

void EventHub::onChange(const std::shared_ptr<Stream>& stream, std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    stream->wake = std::move(wake);
}

void EventHub::wakeAll(const std::vector<std::function<void()>>& wakes) {
    changed_.notify_all();
    for (const auto& wake : wakes) wake();
}

void EventHub::awaitClosed(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return streams_.empty(); });
}

void EventHub::publish(const std::string& event) {
    std::vector<std::function<void()>> wakes;
    {
        std::lock_guard lock(mutex_);
        for (auto& stream : streams_) {
            if (stream->queue.size() >= kMaxQueued) {
                stream->ended = true;
            } else {
                stream->queue.push_back(event);
            }
            if (stream->wake) wakes.push_back(stream->wake);
        }
    }
    wakeAll(wakes);
}

EventHub::Next EventHub::next(const std::shared_ptr<Stream>& stream, std::string& event,
                              std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait,
                      [&] { return stopped_ || stream->ended || !stream->queue.empty(); });
    if (stopped_ || stream->ended) return Next::Ended;
    if (stream->queue.empty()) return Next::Idle;
    event = std::move(stream->queue.front());
    stream->queue.pop_front();
    return Next::Event;
}

void EventHub::stop() {
    std::vector<std::function<void()>> wakes;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        for (auto& stream : streams_) {
            if (stream->wake) wakes.push_back(stream->wake);
        }
    }
    wakeAll(wakes);
}

Panel::Panel(Camera& camera, std::size_t maxStreams) : camera_(camera), hub_(maxStreams) {
    parameters_ = camera_.parameters();
    camera_.onTransaction([this](const Transaction& transaction) {
        // Only the calls of an action are its trace; the panel's own reads are not.
        if (recording_ && recording_->size() < kMaxTrace) recording_->push_back(transaction);
    });
    std::lock_guard lock(mutex_);
    auto hold = camera_.hold();
    last_ = read();
}

Panel::~Panel() {
    camera_.onTransaction({});
}

// The library's lookup, so that a name or id means here what it means in every face, and an
// unknown one is refused with the library's words.
const Parameter& Panel::find(const std::string& name) const {
    const std::uint32_t id = vexar::parameterNamed(name).id;
    return *std::ranges::find_if(parameters_, [&](const Parameter& p) { return p.id == id; });
}

Panel::Snapshot Panel::read() {
    Snapshot snapshot;
    for (const auto& parameter : parameters_) {
        Json entry = Json{{"name", parameter.name}};
        if (!parameter.readable()) {
            entry["current"] =
                Json{{"value", nullptr}, {"text", "write-only"}, {"reason", "write-only"}};
            if (auto written = written_.find(parameter.name); written != written_.end()) {
                putShownValue(entry, "written", written->second);
            }
        } else {
            try {
                const Value value = camera_.get(parameter.name);
                putShownValue(entry, "current", value);
                entry["outside_range"] = parameter.range && !parameter.range->contains(value);
            } catch (const Error& e) {
                entry["current"] = Json{{"value", nullptr},
                                        {"text", "error"},
                                        {"reason", "error"},
                                        {"error", e.what()}};
            }
        }
        snapshot.parameters.push_back(std::move(entry));
    }
    snapshot.fields = camera_.fields();
    snapshot.timing = camera_.timing();
    return snapshot;
}

std::string Panel::eventText(const char* type, const Json& data) {
    return "id: " + std::to_string(sequence_) + "\nevent: " + type + "\ndata: " + dumpJson(data) +
           "\n\n";
}

Json Panel::changeEvent(const char* kind, const Json& what, const Snapshot& before) {
    Json timing = timingJson(last_->timing);
    timing["svg"] = last_->timing.toSvg();
    return Json{{"seq", sequence_},
                {"kind", kind},
                {"action", what},
                {"changed_fields", changedFields(before.fields, last_->fields)},
                {"parameters", last_->parameters},
                {"timing", timing}};
}

void Panel::refresh() {
    Snapshot now = read();
    const bool changed =
        !last_ || !sameFields(last_->fields, now.fields) || last_->parameters != now.parameters;
    Snapshot before = last_ ? std::move(*last_) : Snapshot{};
    last_ = std::move(now);
    if (changed) {
        ++sequence_;
        Json event = changeEvent("external", Json::object(), before);
        event["ok"] = true;
        event["trace"] = Json::array();
        hub_.publish(eventText("change", event));
    }
}

template <typename Action>
Json Panel::act(const char* kind, Json what, Action&& action) {
    std::lock_guard lock(mutex_);
    std::vector<Transaction> trace;
    Json result = Json::object();
    std::optional<ActionError> failed;
    Snapshot before;
    {
        Hold hold = camera_.hold();
        refresh();
        before = *last_;
        recording_ = &trace;
        try {
            result = action();
        } catch (const Error& e) {
            failed = failureOf(e);
        } catch (const ActionError& e) {
            failed = e;
        }
        recording_ = nullptr;
        last_ = read();
        ++sequence_;
        try {
            hold.release();
        } catch (const Error& e) {
            if (!failed) failed = failureOf(e);
        }
    }
    Json event = changeEvent(kind, what, before);
    event["ok"] = !failed;
    event[failed ? "error" : "result"] = failed ? failed->body["error"] : result;
    Json transactions = Json::array();
    for (const auto& transaction : trace) transactions.push_back(transactionJson(transaction));
    event["trace"] = std::move(transactions);
    event["changed_fields_count"] = event["changed_fields"].size();
    hub_.publish(eventText("change", event));
    if (failed) {
        failed->body["seq"] = sequence_;
        throw *failed;
    }
    result["seq"] = sequence_;
    return result;
}

Json Panel::camera() {
    std::lock_guard lock(mutex_);
    const auto versions = camera_.versions();
    const auto& identity = camera_.identity();
    auto dotted = [](const auto& numbers) {
        std::string text;
        for (auto n : numbers) text += (text.empty() ? "" : ".") + std::to_string(n);
        return text;
    };
    char key[64];
    std::snprintf(key, sizeof key, "0x%x 0x%x 0x%x 0x%x", identity.key.word0, identity.key.word1,
                  identity.key.word2, identity.key.word3);
    return Json{{"backend", camera_.backend()},
                {"plugin", camera_.pluginPath()},
                {"identity", Json{{"source", identity.source}, {"key", key}}},
                {"versions", Json{{"plugin", dotted(versions.plugin)},
                                  {"sdk", dotted(versions.sdk)},
                                  {"guid", versions.guid},
                                  {"implementation_type", versions.implementationType}}},
                {"can_reset", camera_.canReset()},
                {"sensor", Json{{"width", 320}, {"height", 240}}}};
}

Json Panel::parameters() {
    std::lock_guard lock(mutex_);
    {
        Hold hold = camera_.hold();
        refresh();
    }
    Json list = Json::array();
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        Json entry = parameterJson(parameters_[i]);
        for (const auto& [key, member] : last_->parameters[i].items()) {
            if (key != "name") entry[key] = member;
        }
        list.push_back(std::move(entry));
    }
    return Json{{"seq", sequence_}, {"parameters", std::move(list)}};
}

Json Panel::parameter(const std::string& name) {
    const Parameter* parameter = &find(name);
    Json all = parameters();
    for (auto& entry : all["parameters"]) {
        if (entry["name"] == parameter->name) {
            entry["seq"] = all["seq"];
            return entry;
        }
    }
    return nullptr;
}

Json Panel::fields() {
    std::lock_guard lock(mutex_);
    {
        Hold hold = camera_.hold();
        refresh();
    }
    Json list = Json::array();
    for (const auto& field : last_->fields) list.push_back(fieldJson(field));
    return Json{{"seq", sequence_}, {"fields", std::move(list)}};
}

Timing Panel::currentTiming() {
    std::lock_guard lock(mutex_);
    {
        Hold hold = camera_.hold();
        refresh();
    }
    return last_->timing;
}

Json Panel::timing() {
    const Timing now = currentTiming();
    Json json = timingJson(now);
    json["svg"] = now.toSvg();
    std::lock_guard lock(mutex_);
    json["seq"] = sequence_;
    return json;
}

std::string Panel::timingSvg() {
    return currentTiming().toSvg();
}
std::string Panel::timingText() {
    return currentTiming().toText();
}

Json Panel::profile() {
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    Json json = toJson(camera_.profile());
    hold.release();
    return json;
}

Json Panel::calibrationJson() {
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    Json json = calibrationToJson(camera_.readCalibration());
    hold.release();
    return json;
}

std::vector<std::uint8_t> Panel::calibration() {
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    auto bytes = camera_.readCalibration();
    hold.release();
    return bytes;
}

std::string Panel::hello() {
    std::lock_guard lock(mutex_);
    {
        Hold hold = camera_.hold();
        refresh();
    }
    return eventText("hello", Json{{"seq", sequence_}});
}

void Panel::poll() {
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    refresh();
}

Json Panel::set(const std::string& name, const Json& body) {
    const Parameter parameter = find(name);
    if (!body.is_object() || !body.contains("value")) {
        throw badInput("the body is {\"value\": ...}, optionally with \"force\": true");
    }
    bool force = false;
    for (const auto& [key, member] : body.items()) {
        if (key == "force") {
            if (!member.is_boolean()) throw badInput("force: expected true or false");
            force = member.get<bool>();
        } else if (key != "value") {
            throw badInput("unknown member '" + key + "' (the body is {\"value\": ...})");
        }
    }
    const Value value = valueFromRequest(parameter, body["value"]);
    Json what = Json{{"name", parameter.name}};
    putShownValue(what, "requested", value);
    return act("set", what, [&]() -> Json {
        Json result = Json{{"name", parameter.name}};
        putShownValue(result, "requested", value);
        const Applied applied = camera_.set(parameter.name, value, WriteOptions{force, force});
        if (applied.applied) {
            putShownValue(result, "applied", *applied.applied);
        } else {
            result["applied"] = nullptr;
            written_.insert_or_assign(parameter.name, value);
        }
        result["outside_range"] = applied.outsideAdvertisedRange;
        result["through_state"] = applied.throughState;
        putStateWritten(result, applied.state);
        return result;
    });
}

namespace {
// A profile the page sent, every bad member listed at once, as the upload refuses it.
Profile uploaded(const std::string& text) {
    const Json profile = parseStrict(text);
    const auto bad = profileProblems(profile);
    if (!bad.empty()) {
        Json entries = Json::array();
        for (const auto& entry : bad) {
            entries.push_back(Json{{"name", entry.member}, {"reason", entry.reason}});
        }
        ActionError refused = failureOf(
            badInput("profile refused whole, nothing written: " + std::to_string(bad.size()) +
                     " bad " + (bad.size() == 1 ? "entry" : "entries")));
        refused.body["error"]["entries"] = std::move(entries);
        throw refused;
    }
    return profileFromJson(profile);
}
}  // namespace

Json Panel::applyProfile(const std::string& text, bool force) {
    const Profile document = uploaded(text);
    const std::size_t members = document.parameters.size();
    return act("profile", Json{{"members", members}}, [&]() -> Json {
        Json result = Json{{"applied", members}};
        putStateWritten(result, camera_.applyProfile(document, WriteOptions{false, force, force}));
        for (const auto& [key, value] : document.parameters) {
            const Parameter& parameter = find(key);
            if (!parameter.readable()) {
                written_.insert_or_assign(parameter.name, value);
            }
        }
        return result;
    });
}

Json Panel::previewed(const Profile& document, bool force) {
    DryRun dryRun = camera_.dryRun(document, WriteOptions{false, force, force});
    Json json = toJson(dryRun);
    json["preview"] = ++previewCount_;
    json["members"] = dryRun.members.size();
    previews_.emplace(previewCount_, std::move(dryRun));
    while (previews_.size() > kPreviews) {
        previews_.erase(previews_.begin());
    }
    return json;
}

Json Panel::preview(const std::string& text, const std::string& preset, bool force) {
    if (!preset.empty() && !text.empty()) {
        throw badInput("a preview is of the profile sent or of the preset named, not both");
    }
    const Profile document = preset.empty() ? uploaded(text) : loadPreset(preset);
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    Json json = previewed(document, force);
    hold.release();
    return json;
}

Json Panel::applyPreview(std::uint64_t id) {
    std::optional<DryRun> dryRun;
    {
        std::lock_guard lock(mutex_);
        const auto found = previews_.find(id);
        if (found == previews_.end()) {
            throw badInput("no preview " + std::to_string(id) + " (only the latest " +
                           std::to_string(kPreviews) + " are kept): make it again");
        }
        dryRun = found->second;
    }
    const std::size_t members = dryRun->members.size();
    return act("profile", Json{{"members", members}, {"preview", id}}, [&]() -> Json {
        Json result = Json{{"applied", members}};
        try {
            putStateWritten(result, camera_.apply(*dryRun));
        } catch (const Error& error) {
            if (error.kind() != ErrorKind::Refused || error.subject() != "apply") {
                throw;
            }
            // Stale: the page gets the preview made again, under the same hold.
            ActionError stale = failureOf(error);
            Profile again;
            again.parameters = dryRun->members;
            stale.body["preview"] = previewed(again, dryRun->options.assumePowerOn);
            throw stale;
        }
        for (const auto& [key, value] : dryRun->members) {
            const Parameter& parameter = find(key);
            if (!parameter.readable()) {
                written_.insert_or_assign(parameter.name, value);
            }
        }
        return result;
    });
}

Json Panel::reset() {
    if (!camera_.canReset()) {
        throw Error(ErrorKind::Unsupported,
                    "reset to power-on is offered on the simulated module and register images "
                    "only: a module on an adapter has no power-on state to load back");
    }
    return act("reset", Json::object(), [&]() -> Json {
        camera_.reset();
        written_.clear();
        return Json::object();
    });
}

Json Panel::writeCalibration(const std::string& body, bool json) {
    if (json) {
        const Json record = parseStrict(body);
        return act("calibration", Json{{"format", "json"}}, [&]() -> Json {
            camera_.writeCalibration(calibrationFromJson(record));
            return Json::object();
        });
    }
    const std::vector<std::uint8_t> bytes(body.begin(), body.end());
    return act("calibration", Json{{"format", "binary"}, {"bytes", bytes.size()}}, [&]() -> Json {
        camera_.writeCalibration(bytes);
        return Json::object();
    });
}

}  // namespace vexar::panel
