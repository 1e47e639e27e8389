#include "Panel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "vexar/compare.hpp"
#include "vexar/options.hpp"
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

Panel::Panel(Camera& camera, std::size_t maxStreams, std::chrono::milliseconds lockTimeout,
             bool restore)
    : camera_(camera), lockTimeout_(lockTimeout), restoreOnReconnect_(restore), hub_(maxStreams) {
    parameters_ = camera_.parameters();
    camera_.onTransaction([this](const Transaction& transaction) {
        // Only the calls of an action are its trace; the panel's own reads are not.
        if (recording_ && recording_->size() < kMaxTrace) recording_->push_back(transaction);
    });
    std::lock_guard lock(mutex_);
    auto hold = camera_.hold();
    last_ = read();
    watch_.emplace(camera_, std::vector<std::string>{}, false);
    watch_->look();
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
        event["reset"] = watch_->look().reset;
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
    bool resetSeen = false;
    if (!disconnected_.empty()) {
        throw Error(ErrorKind::Disconnected, disconnected_);
    }
    try {
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
        resetSeen = watch_->look().reset;
        try {
            hold.release();
        } catch (const Error& e) {
            if (!failed) failed = failureOf(e);
        }
    } catch (const Error& e) {
        // The module went away before or after the action: every stream is told at once.
        recording_ = nullptr;
        if (e.kind() == ErrorKind::Disconnected) lost(e);
        throw;
    }
    Json event = changeEvent(kind, what, before);
    event["reset"] = resetSeen;
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
                {"disconnected", disconnected_.empty() ? Json(nullptr) : Json(disconnected_)},
                {"restores_on_reconnect", restoreOnReconnect_},
                {"lock_timeout_ms", lockTimeout_.count()},
                {"sensor", Json{{"width", 320}, {"height", 240}}}};
}

Json Panel::parameters() {
    std::lock_guard lock(mutex_);
    look();
    Json list = Json::array();
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        Json entry = parameterJson(parameters_[i]);
        entry["group"] = parameterGroup(parameterNamed(parameters_[i].name));
        for (const auto& [key, member] : last_->parameters[i].items()) {
            if (key != "name") entry[key] = member;
        }
        list.push_back(std::move(entry));
    }
    return Json{{"seq", sequence_}, {"groups", parameterGroups()}, {"parameters", std::move(list)}};
}

Json Panel::parameter(const std::string& name) {
    const Parameter* parameter = &find(name);
    if (parameter->access == Access::WriteOnly) {
        // Refused as a read of it is everywhere; the list still says what was written here.
        std::lock_guard lock(mutex_);
        camera_.get(parameter->name);
    }
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
    look();
    Json list = Json::array();
    for (const auto& field : last_->fields) list.push_back(fieldJson(field));
    return Json{{"seq", sequence_}, {"fields", std::move(list)}};
}

Timing Panel::currentTiming() {
    std::lock_guard lock(mutex_);
    look();
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
    try {
        look();
    } catch (const Error& error) {
        // The stream stays open while the module is gone: it tells when it is back.
        if (error.kind() != ErrorKind::Disconnected) throw;
    }
    return eventText("hello", Json{{"seq", sequence_}});
}

void Panel::look() {
    // While the module is gone, nothing read before is shown as if it were now.
    if (!disconnected_.empty()) throw Error(ErrorKind::Disconnected, disconnected_);
    try {
        Hold hold = camera_.hold();
        refresh();
    } catch (const Error& error) {
        if (error.kind() == ErrorKind::Disconnected) lost(error);
        throw;
    }
}

void Panel::poll(bool look) {
    std::lock_guard lock(mutex_);
    if (disconnected_.empty() && !camera_.busPresent()) {
        lost(Error(ErrorKind::Disconnected, camera_.backend() + " went away: its node is gone"));
        return;
    }
    // Gone: at every glance, since opening a node that is not there costs no transfer.
    if (!disconnected_.empty()) {
        std::optional<Reconnection> done;
        try {
            done = camera_.reconnect(false);
        } catch (const Error& error) {
            // Not back yet (no node, or devices that do not answer): the next round looks again.
            if (error.kind() != ErrorKind::BusFailure && error.kind() != ErrorKind::Disconnected) {
                throw;
            }
            return;
        }
        // Back; a restore that fails leaves it back all the same, and the page offers it again.
        std::optional<Error> refused;
        if (restoreOnReconnect_) {
            try {
                done = camera_.reconnect(true);
            } catch (const Error& error) {
                refused = error;
            }
        }
        reconnected(*done, "reconnected", refused ? refused->what() : std::string());
        return;
    }
    if (!look) return;
    try {
        this->look();
    } catch (const Error& error) {
        if (error.kind() != ErrorKind::Disconnected) throw;  // told by look() already
    }
}

void Panel::lost(const Error& error) {
    disconnected_ = error.what();
    ++sequence_;
    Json event = changeEvent("disconnected", Json::object(), *last_);
    event["ok"] = false;
    event["error"] = toJson(error);
    event["reset"] = false;
    event["trace"] = Json::array();
    hub_.publish(eventText("change", event));
}

void Panel::reconnected(const Reconnection& done, const char* kind,
                        const std::string& restoreFailed) {
    disconnected_.clear();
    written_.clear();  // the module may have lost them; a restore wrote them again below
    for (const auto& [name, value] : done.settings) {
        const Parameter& parameter = find(name);
        if (!parameter.readable() && done.restored) written_.insert_or_assign(name, value);
    }
    Snapshot before = last_ ? *last_ : Snapshot{};
    {
        Hold hold = camera_.hold();
        last_ = read();
    }
    watch_.emplace(camera_, std::vector<std::string>{}, false);
    watch_->look();
    ++sequence_;
    Json what = Json{{"restored", done.restored}, {"at_power_on", done.atPowerOn}};
    Json lostNames = Json::array();
    for (const std::string& name : done.lost) lostNames.push_back(name);
    what["lost"] = std::move(lostNames);
    if (!restoreFailed.empty()) what["restore_failed"] = restoreFailed;
    Json event = changeEvent(kind, what, before);
    event["ok"] = true;
    event["reset"] = false;
    event["result"] = Json::object();
    Json transactions = Json::array();
    for (const auto& transaction : done.transactions) {
        transactions.push_back(transactionJson(transaction));
    }
    event["trace"] = std::move(transactions);
    hub_.publish(eventText("change", event));
}

Json Panel::restore() {
    std::lock_guard lock(mutex_);
    const Reconnection done = camera_.reconnect(true);
    reconnected(done, "restore");
    return Json{{"seq", sequence_}, {"restored", done.restored}};
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
    const Json profile = parseStrict(text, "the profile");
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
    return applyDocument(uploaded(text), force, Json::object());
}

Json Panel::applyDocument(const Profile& document, bool force, Json what) {
    const std::size_t members = document.parameters.size();
    what["members"] = members;
    return act("profile", std::move(what), [&]() -> Json {
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

Json Panel::previewed(const Profile& document, bool force, const std::string& preset) {
    DryRun dryRun = camera_.dryRun(document, WriteOptions{false, force, force});
    Json json = toJson(dryRun);
    json["preview"] = ++previewCount_;
    json["members"] = dryRun.members.size();
    previews_.emplace(previewCount_, std::pair{std::move(dryRun), preset});
    while (previews_.size() > kPreviews) {
        previews_.erase(previews_.begin());
    }
    return json;
}

Json Panel::preview(const std::string& text, const std::string& preset, bool force) {
    if (!preset.empty() && !text.empty()) {
        throw badInput("a preview is of the profile sent or of the preset named, not both");
    }
    const Profile document = preset.empty() ? uploaded(text) : vexar::loadPreset(preset);
    std::lock_guard lock(mutex_);
    Hold hold = camera_.hold();
    Json json = previewed(document, force, preset);
    hold.release();
    return json;
}

Json Panel::applyPreview(std::uint64_t id) {
    std::optional<DryRun> dryRun;
    std::string preset;
    {
        std::lock_guard lock(mutex_);
        const auto found = previews_.find(id);
        if (found == previews_.end()) {
            throw badInput("no preview " + std::to_string(id) + " (only the latest " +
                           std::to_string(kPreviews) + " are kept): make it again");
        }
        dryRun = found->second.first;
        preset = found->second.second;
    }
    const std::size_t members = dryRun->members.size();
    Json what = Json{{"members", members}, {"preview", id}};
    if (!preset.empty()) what["preset"] = preset;
    return act("profile", std::move(what), [&]() -> Json {
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
            stale.body["preview"] = previewed(again, dryRun->options.assumePowerOn, preset);
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

namespace {

std::uint32_t rawValue(const Json& body, std::uint32_t limit) {
    if (!body.is_object() || body.size() != 1 || !body.contains("value") ||
        !body["value"].is_number_unsigned() || body["value"].get<std::uint64_t>() > limit) {
        throw badInput("the body is {\"value\": N}, N from 0 to " + std::to_string(limit));
    }
    return body["value"].get<std::uint32_t>();
}

std::optional<std::uint32_t> unsignedIn(const std::string& text) {
    std::uint32_t number = 0;
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    for (const char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (digit < 0) return std::nullopt;
        number = number * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    return number;
}

}  // namespace

Json Panel::writeRegister(const std::string& address, const Json& body) {
    const auto where = unsignedIn(address);
    if (!where) throw badInput(address + ": not a register address (0x000-0x1ff)");
    const std::uint32_t value = rawValue(body, 0xFFFFFF);
    return act("register", Json{{"address", address}, {"value", value}}, [&]() -> Json {
        camera_.writeRegister(*where, value);
        return Json{{"address", address}, {"value", camera_.readRegister(*where)}};
    });
}

Json Panel::writeField(const std::string& index, const Json& body) {
    const auto table = Camera::fieldTable();
    const auto number = unsignedIn(index);
    const auto field =
        std::ranges::find_if(table, [&](const Field& f) { return number && f.index == *number; });
    if (field == table.end()) throw badInput(index + ": no field of that index");
    const unsigned width = field->msb - field->lsb + 1u;
    const std::uint32_t mask = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
    const std::uint32_t value = rawValue(body, mask);
    Json what = Json{{"index", field->index}, {"name", field->name}, {"value", value}};
    return act("field", std::move(what), [&]() -> Json {
        // The field's neighbours in the register keep what they hold.
        const std::uint32_t held = camera_.readRegister(field->address);
        const std::uint32_t written = (held & ~(mask << field->lsb)) | (value << field->lsb);
        camera_.writeRegister(field->address, written);
        return Json{{"index", field->index},
                    {"value", (camera_.readRegister(field->address) >> field->lsb) & mask}};
    });
}

Json Panel::presets() {
    return Json{{"presets", presetNames()}};
}

Json Panel::savePreset(const std::string& name) {
    checkPresetName(name);
    Profile profile;
    {
        std::lock_guard lock(mutex_);
        Hold hold = camera_.hold();
        profile = camera_.profile();
        hold.release();
    }
    vexar::savePreset(name, std::move(profile));
    return presets();
}

Json Panel::loadPreset(const std::string& name, bool force) {
    return applyDocument(vexar::loadPreset(name), force, Json{{"preset", name}});
}

Json Panel::removePreset(const std::string& name) {
    vexar::removePreset(name);
    return presets();
}

Json Panel::comparePreset(const std::string& name) {
    const Profile preset = vexar::loadPreset(name);
    Profile now;
    {
        std::lock_guard lock(mutex_);
        Hold hold = camera_.hold();
        now = camera_.profile();
        hold.release();
    }
    Json differences = Json::array();
    for (const auto& difference : compareSettings(preset.parameters, now.parameters)) {
        Json entry = Json{{"name", difference.name}};
        if (difference.a) {
            putShownValue(entry, "preset", *difference.a);
        } else {
            entry["preset"] = nullptr;
        }
        if (difference.b) {
            putShownValue(entry, "module", *difference.b);
        } else {
            entry["module"] = nullptr;
        }
        differences.push_back(std::move(entry));
    }
    return Json{{"name", name}, {"differences", std::move(differences)}};
}

}  // namespace vexar::panel
