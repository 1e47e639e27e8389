#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "vexar/bus.hpp"
#include "vexar/error.hpp"
#include "vexar/export.hpp"
#include "vexar/timing.hpp"
#include "vexar/value.hpp"

// The camera module through the parameter-interpreter plug-in, on the simulated module, a
// register image, a Linux I2C adapter or a bus of the caller's own.
namespace vexar {

enum class Access { ReadWrite, ReadOnly, WriteOnly };

// "read-write", "read-only", "write-only".
VEXAR_CLIENT_API std::string_view accessName(Access access);

template <typename T>
struct Bounds {
    T minimum;
    T maximum;
    T step;
    bool operator==(const Bounds&) const = default;
};

struct RegionBounds {
    Bounds<std::int32_t> x, y, width, height;
    bool operator==(const RegionBounds&) const = default;
};

// What the plug-in advertises for a parameter: bounds with a step, a discrete set, or bounds
// for each field of a region.
struct VEXAR_CLIENT_API Range {
    std::variant<Bounds<std::int32_t>, Bounds<float>, std::vector<std::int32_t>, RegionBounds>
        numbers;

    // "min=0 max=60 step=0.01", "values=1,2,4,8",
    // "x=0..303/16 y=0..239/1 width=16..320/16 height=1..240/1".
    std::string toString() const;
    // Whether the value lies inside (a NaN never does).
    bool contains(const Value& value) const;
    bool operator==(const Range&) const = default;
};

struct VEXAR_CLIENT_API Parameter {
    std::uint32_t id;
    std::string name;
    ValueType type;
    std::uint32_t unitCode;
    std::string unit;  // "ms", "MHz", "m", "%" or "none"
    Access access;
    std::optional<Range> range;  // nothing when the plug-in advertises none
    // Written only inside a system state: the plug-in refuses it alone.
    bool stateOnly = false;

    bool readable() const { return access != Access::WriteOnly; }
    bool writable() const { return access != Access::ReadOnly && !stateOnly; }
};

// What set did: the value asked for, the value the module holds afterwards (nothing for a
// write-only parameter) and whether the request lay outside the advertised range.
// Another parameter whose read-back a write moved.
struct Change {
    std::string name;
    Value before;
    Value after;
};

// What a write through a system state did beside the values asked for: every other readable
// value it moved, and the write-only voltages it had to assume (their power-on value, forced,
// nothing being known of them).
struct StateWritten {
    std::vector<Change> changed;
    std::vector<std::string> assumed;
};

struct Applied {
    std::string name;
    Value requested;
    std::optional<Value> applied;
    bool outsideAdvertisedRange = false;
    std::optional<Range> range;  // what the plug-in advertises
    // Written through a system state (RegionOfInterest, DealiasingOn, or a frequency while
    // the module's dealiasing disagrees with the plug-in's phase count); what else it did.
    bool throughState = false;
    StateWritten state;
};

// The value a write-only voltage is written at, forced, when nothing is known of it: the
// value the plug-in's saved state reports for each.
inline constexpr float kPowerOnVoltage = 50.0f;

struct WriteOptions {
    bool allowNonFinite = false;  // NaN and the infinities are written, not refused
    // A write through a system state writes the voltages nothing is known of at
    // kPowerOnVoltage, rather than being refused.
    bool assumePowerOn = false;
    // A profile saved from another module is written all the same, rather than refused.
    bool otherModule = false;
};

// What a host knows of a parameter from the plug-in's public header alone.
struct ParameterName {
    std::uint32_t id;
    std::string name;
    ValueType type;
};
// A name in any letter case, or an identifier in decimal or 0x-hexadecimal; nothing otherwise.
VEXAR_CLIENT_API std::optional<ParameterName> findParameter(std::string_view nameOrId);
// The same, or Error(BadInput) "<nameOrId>: no such parameter (...); did you mean 'FrameRate'?",
// as every call on a camera that names a parameter refuses it.
VEXAR_CLIENT_API ParameterName parameterNamed(std::string_view nameOrId);
VEXAR_CLIENT_API std::vector<ParameterName> parameterNames();
// The group a face shows a parameter in, by what it sets: "frame timing", "modulation and
// dealiasing", "illumination and mixing" or "output and streaming". parameterGroups() lists
// them in the order they are shown; every parameter is in exactly one.
VEXAR_CLIENT_API std::string parameterGroup(const ParameterName& parameter);
VEXAR_CLIENT_API std::vector<std::string> parameterGroups();
// A value for the parameter as every face takes one: of its type, an integer for a float, an
// integral float for an int; from text, as Value::parse reads it. Error(BadInput) "<Name> =
// <given>: takes an int, not a float" or "...: not an int" otherwise.
VEXAR_CLIENT_API Value valueFor(const ParameterName& parameter, const Value& given);
VEXAR_CLIENT_API Value valueFor(const ParameterName& parameter, std::string_view text);
// The candidate a mistyped word most likely meant: at most two letters added, dropped or
// changed, in any letter case, and fewer than the word has letters; nothing otherwise.
VEXAR_CLIENT_API std::optional<std::string> nearestWord(std::string_view word,
                                                        const std::vector<std::string>& candidates);

// A sub-register: its place in the sensor's 24-bit registers and what it holds now.
struct Field {
    std::string name;  // empty for fields the plug-in names by index only
    std::uint32_t index;
    std::uint16_t address;
    std::uint8_t lsb;
    std::uint8_t msb;
    std::uint32_t value;
    std::uint32_t reset;  // at power-on
};

// A 24-bit sensor register and its power-on value.
struct RegisterValue {
    std::uint16_t address;
    std::uint32_t value;
    std::uint32_t reset;
    bool operator==(const RegisterValue&) const = default;
};

// A one-byte device of the module, what it drives and the byte it latched.
struct ByteDeviceValue {
    std::string role;
    std::uint16_t device;
    std::uint8_t reg;
    std::optional<std::uint8_t> latched;
};

// The module's identity words, as the plug-in is initialised with them (the plug-in's C
// header has the same records; these keep its names out of a C++ program's global namespace).
struct ModuleKey {
    std::uint32_t word0, word1, word2, word3;
};

struct ComponentIdentity {
    std::uint32_t type;
    std::uint16_t version;
    std::uint16_t pad0;
    std::uint32_t reservedWord;
    std::uint16_t reservedHalf;
    std::uint16_t pad1;
    std::uint8_t present;
    std::uint8_t pad2[3];
};

struct ModuleDescriptor {
    std::uint32_t headerValue;
    std::uint8_t headerValid;
    std::uint8_t pad0[3];
    std::uint32_t auxValue;
    std::uint8_t auxValid;
    std::uint8_t pad1[3];
    ComponentIdentity components[5];
};

// Who the plug-in is initialised as, and where that came from.
struct ModuleIdentity {
    ModuleKey key;
    ModuleDescriptor descriptor;
    std::string source;  // "built-in" or the file it was read from

    // The module this library was made for, which the simulated module answers to.
    VEXAR_CLIENT_API static ModuleIdentity builtIn();
    // A JSON file with the fields 'vexar-ctl info --format json' prints. Error(BadInput).
    VEXAR_CLIENT_API static ModuleIdentity load(const std::string& file);
};

// The module a profile was saved from, by what tells modules apart: the key words, and the type
// and hardware version of the module component.
struct ProfileModule {
    std::array<std::uint32_t, 4> key{};
    std::uint32_t type = 0;
    std::uint32_t hardwareVersion = 0;

    VEXAR_CLIENT_API static ProfileModule of(const ModuleIdentity& identity);
    bool operator==(const ProfileModule&) const = default;
    // "key 0x451 0x9100 0x0 0x0, type 0x102, hardware version 0x2000"
    VEXAR_CLIENT_API std::string toString() const;
};

// A saved profile: the values, and what they belong to. Version 0 is the bare {"Name": value}
// object saved before profiles said what they are; it names no module.
struct Profile {
    // The newest format this library reads, and the one it writes.
    static constexpr int kFormatVersion = 2;
    int version = kFormatVersion;
    std::optional<ProfileModule> module;
    std::string plugin;  // the plug-in's version, "0.1.0"
    std::string saved;   // when, in UTC: "2026-12-08T07:15:00Z"
    std::string name;    // empty: none
    std::string note;
    Settings parameters;
};

// What Camera::reconnect did.
struct Reconnection {
    std::string backend;  // where the camera is now: "/dev/i2c-1"
    // The settings the module was last known to hold (the last state read or written, with
    // each write since; a write-only voltage as this camera last wrote it, left out when it
    // never did): what restoring writes back.
    Settings settings;
    // Those whose value the module no longer holds (a write-only voltage is never read back, so
    // never among them): non-empty after a power cycle took them.
    std::vector<std::string> lost;
    // Every field of the module is at its power-on value.
    bool atPowerOn = false;
    bool restored = false;
    StateWritten written;                   // what the restore moved beside the settings
    std::vector<Transaction> transactions;  // those of the restore
};

struct Versions {
    std::array<std::uint32_t, 3> plugin;
    std::array<std::uint32_t, 4> sdk;
    std::string guid;  // "{8-4-4-4-12}" in upper-case hexadecimal
    std::int32_t implementationType;
};

// Defined in <vexar/options.hpp>, which costs <chrono> and <functional>; a program that opens
// a camera with the defaults and watches no transactions does without them.
struct OpenOptions;
struct TransactionCallback;

// A field a write would change: field.value is what the module holds now.
struct FieldChange {
    Field field;
    std::uint32_t willBe;
};

// A one-byte device a write would send a new byte: what is known of it now (nothing when
// nothing is), and the byte it would latch.
struct ByteChange {
    std::string role;
    std::uint16_t device;
    std::optional<std::uint8_t> was;
    std::uint8_t willBe;
};

// What a write of a profile would do, found by running it on a simulated module seeded with
// the module's registers as they are, the instance computing with the same phase count:
// nothing is written to the module, which sees only the reads of its registers.
struct DryRun {
    // Every member of the state as the module would hold it after the write (a write-only
    // voltage as it would be known), in record order.
    Settings applied;
    // The other values the write moves, and the voltages it would assume.
    StateWritten written;
    std::vector<FieldChange> fields;
    std::vector<ByteChange> devices;
    // The transactions of the write, in order, as the module's bus would see them.
    std::vector<Transaction> transactions;
    // Every sensor register the write reads or writes, each read once from the module (reset
    // is its power-on value), in the order the write first touches them.
    std::vector<RegisterValue> seed;
    // Phases per micro-frame the instance computes with before the write.
    int phaseCount = 4;

    // What Camera::apply writes, and what it finds unchanged before it does: the members, or
    // a saved state written whole as loadState writes it.
    Settings members;
    WriteOptions options;
    std::vector<std::uint8_t> state;
    std::vector<std::optional<std::uint8_t>> knownBytes;  // by one-byte device, as byteDevices
    std::vector<std::optional<float>> knownVoltages;
};


// The transactions of a camera from the recording's making until it is stopped or destroyed.
// Several may record at once, from any thread, beside the onTransaction callback; one outlives
// the camera it recorded.
class VEXAR_CLIENT_API TraceRecording {
  public:
    struct State;
    explicit TraceRecording(std::shared_ptr<State> state);
    TraceRecording(TraceRecording&&) noexcept;
    TraceRecording& operator=(TraceRecording&&) noexcept;
    ~TraceRecording();

    // What it has recorded so far, oldest first.
    std::vector<Transaction> transactions() const;
    void stop();

  private:
    std::shared_ptr<State> state_;
};

// Keeps the bus (the adapter's or the image's lock) across several calls, and other threads
// of this process out of the camera, until it is released or destroyed, on any thread (once
// the thread that made it is between calls). One tool command is one hold. Closing the camera
// ends it; a release after that does nothing.
class VEXAR_CLIENT_API Hold {
  public:
    Hold(Hold&&) noexcept;
    Hold& operator=(Hold&&) = delete;
    Hold(const Hold&) = delete;
    ~Hold();
    // Ends the hold now, writing back an image the calls changed; Error(BadInput) when that
    // fails (the destructor swallows it).
    void release();

  private:
    friend class Camera;
    struct State;
    explicit Hold(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

class VEXAR_CLIENT_API Camera {
  public:
    // "sim" (a fresh simulated module), "image:PATH" (the simulated module kept in PATH between
    // operations, shared with other processes by the file's lock), "/dev/i2c-N" (a Linux
    // adapter). Loads the plug-in, checks that the sensor answers and initialises it.
    static Camera open(std::string_view where);
    static Camera open(std::string_view where, const OpenOptions& options);
    static Camera open(std::unique_ptr<Bus> bus);
    static Camera open(std::unique_ptr<Bus> bus, const OpenOptions& options);

    Camera(Camera&&) noexcept;
    Camera& operator=(Camera&&) noexcept;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
    ~Camera();
    // Ends the holds still open, disposes the plug-in instance and releases the bus; later calls
    // are Error(BadInput), another close() nothing. Called from inside one of the camera's own
    // calls (a bus or a transaction callback), it is done once that call ends. A moved-from
    // camera is closed.
    void close();

    // Whether close() has been done (or the camera moved from): every later call but these
    // few is Error(BadInput).
    bool closed() const;
    // "simulated module" (in this process or kept in an image: the module is the same),
    // "/dev/i2c-1" or the caller's bus's name.
    std::string backend() const;
    const std::string& pluginPath() const;
    const ModuleIdentity& identity() const;
    Versions versions() const;
    float phaseScaling();
    // Phases per micro-frame: 6 with DealiasingOn, else 4.
    int phaseCount();
    // Only the simulated module and images can go back to power-on.
    bool canReset() const;
    // Whether other processes may reach the module too (an image, an adapter, a caller's bus),
    // so that what they change shows only on a fresh read; false only for the simulated module
    // of this process (and once closed). backend() names an image as the simulated module too.
    bool shared() const;

    std::vector<Parameter> parameters();
    // A name in any letter case, or an identifier in decimal or 0x-hexadecimal.
    Parameter parameter(std::string_view nameOrId);
    Value get(std::string_view nameOrId);
    // The value is converted as valueFor does; non-finite floats are refused as bad input
    // unless allowNonFinite says otherwise. RegionOfInterest and DealiasingOn, which the
    // plug-in writes only in a system state, are written through one built from the current
    // values, as are the frame rate and the frequencies while the module's dealiasing
    // disagrees with the phase count the plug-in computes with (another process left it on):
    // the write-only voltages come from what is known of them (what this camera last wrote,
    // or what the simulated module latched), and the write is refused before anything is sent
    // when a voltage is unknown (unless options.assumePowerOn) or the state could not be
    // loaded (a frequency not yet set).
    Applied set(std::string_view nameOrId, const Value& value, bool allowNonFinite = false);
    Applied set(std::string_view nameOrId, const Value& value, const WriteOptions& options);

    // The system state: a record for each parameter the plug-in keeps in one.
    std::vector<std::uint8_t> saveState();
    void loadState(std::span<const std::uint8_t> state);
    // The state's members by name, in record order, as a profile of this module saved now
    // (toJson in <vexar/json.hpp> gives the form vexar-ctl state save writes). A write-only
    // voltage is given as what is known of it, and left out when nothing is.
    Profile profile();
    // Members by name or identifier, written as one state: what it leaves out keeps its value,
    // the voltages known as set does; refused before anything is written as set refuses. A
    // profile of another module is refused (BadInput, naming both) unless options.otherModule.
    StateWritten applyProfile(const Profile& profile, const WriteOptions& options = {});
    StateWritten applyProfile(const Settings& members, const WriteOptions& options = {});
    // What applyProfile would do, without writing anything; refused as it would be refused
    // (another module's profile, a voltage nothing is known of). The module sees only reads.
    DryRun dryRun(const Profile& profile, const WriteOptions& options = {});
    // What loadState would do with a saved state, as the dry run of a profile says it.
    DryRun dryRun(std::span<const std::uint8_t> state);
    // The dry run's write, once the registers it read still hold what they held, the
    // voltages are known alike and the phase count is the same; else Error(Refused) saying
    // the dry run is stale, nothing written: make it again. Inside the hold the dry run was
    // made in, no other process can make it stale.
    StateWritten apply(const DryRun& dryRun);
    // The records of a state that cannot be loaded back as they are (a frequency that is not a
    // number, as at power-on), by parameter name; empty when it can.
    static Settings unloadable(std::span<const std::uint8_t> state);
    // Between a state and its members, without the module: Error(BadInput) for a damaged state,
    // an unknown name, a value of the wrong type or one given twice.
    static Settings stateToSettings(std::span<const std::uint8_t> state);
    static std::vector<std::uint8_t> stateFromSettings(const Settings& members);
    // The module at power-on; Error(Refused) on an adapter.
    void reset();
    // Opens the camera's bus again (an adapter that went away and came back: Error(Disconnected)
    // told of it) and initialises a new plug-in instance on it, whose phase count starts again
    // at 4; with restore, writes back the settings the module was last known to hold, as
    // applyProfile does. Also for a module that was power-cycled behind an adapter that
    // stayed. Error(BusFailure) or Error(Disconnected) while the bus or the module is not back
    // (the camera stays as it was); Error(BadInput) inside a hold or one of its own calls.
    Reconnection reconnect(bool restore = false);
    // Whether the bus's adapter node is there, looked at without a transfer or a lock (a node
    // removed, or another one now, is not): a cheap look for whoever waits for it to go or
    // come back. Always true for backends without a node.
    bool busPresent() const;

    std::vector<std::uint8_t> readCalibration();
    void writeCalibration(std::span<const std::uint8_t> record);

    // Every sub-register and every sensor register the module has, read from the sensor (the
    // simulated module's own registers, so that looking adds no transactions); the one-byte
    // devices with what they latched, where the simulated module can tell.
    std::vector<Field> fields();
    // The fields' places and power-on values, without reading anything (value is 0).
    static std::vector<Field> fieldTable();
    std::vector<RegisterValue> registers();
    std::vector<ByteDeviceValue> byteDevices();
    // A sensor register on the bus, past the plug-in; Error(BadInput) for an address the
    // sensor does not have (0x000-0x1ff) or a value wider than 24 bits.
    std::uint32_t readRegister(std::uint32_t address);
    void writeRegister(std::uint32_t address, std::uint32_t value);
    // A one-byte device's register. Its byte cannot be read back on a real bus, only from the
    // simulated module: nothing when it was never written, Error(BadInput) on hardware.
    std::optional<std::uint8_t> readRegister(std::uint16_t device, std::uint8_t reg);
    void writeRegister(std::uint16_t device, std::uint8_t reg, std::uint8_t value);

    // The recent transactions, oldest first: a bounded record that is always kept.
    std::vector<Transaction> transactions() const;
    void clearTransactions();
    // Called for each transaction as it happens, with the camera's lock held; an empty
    // function removes it.
    void onTransaction(TransactionCallback callback);
    // A recording of the transactions from now on.
    [[nodiscard]] TraceRecording trace();

    Timing timing();

    [[nodiscard]] Hold hold();

    struct Impl;

  private:
    explicit Camera(std::unique_ptr<Impl> impl);
    // The write made on a simulated module standing in for this camera's, from what result
    // already holds.
    struct DryRunWrite;
    DryRun dryRunOf(DryRun result, const DryRunWrite& write);
    // Error(BadInput) for a moved-from camera.
    Impl& live() const;
    std::unique_ptr<Impl> impl_;
};

// The plug-in beside libvexar-client.so, else its plain name for the loader to find.
VEXAR_CLIENT_API std::string defaultPluginPath();
// The version a plug-in reports, without initialising it; Error(LoadFailure).
VEXAR_CLIENT_API std::array<std::uint32_t, 3> pluginVersion(const std::string& path);

// Which of the module's devices answer on a bus, without loading the plug-in.
struct DeviceAnswer {
    std::string role;
    std::uint16_t device;
    std::int32_t result;  // 0, or the bus's negative errno
};
struct ProbeResult {
    std::string bus;  // as Camera::backend names it
    std::vector<DeviceAnswer> devices;
};
VEXAR_CLIENT_API ProbeResult probe(std::string_view where);
VEXAR_CLIENT_API ProbeResult probe(std::string_view where, const OpenOptions& options);

}  // namespace vexar
