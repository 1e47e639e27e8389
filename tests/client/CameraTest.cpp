// The client library's own behaviour: what a front end relies on beyond what the tool's
// transcripts show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

#include "tests/ModuleBus.h"
#include "vexar/camera.hpp"
#include "vexar/json.hpp"
#include "vexar/options.hpp"

namespace {
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

vexar::OpenOptions withPlugin() {
    vexar::OpenOptions options;
    options.plugin = VEXAR_PLUGIN_PATH;
    return options;
}

using vexar::test::ModuleBus;

// The kind of error a call throws; none (0) when it returns.
template <typename Call>
vexar::ErrorKind kindOf(Call call) {
    try {
        call();
    } catch (const vexar::Error& error) {
        return error.kind();
    }
    return vexar::ErrorKind{};
}

class CameraTest : public ::testing::Test {
  protected:
    vexar::Camera camera = vexar::Camera::open("sim", withPlugin());
};

// What a set applies, also beyond the advertised range, and what a range refuses are rows of
// the cross-face table (tests/faces).
TEST_F(CameraTest, SetKeepsTheRequestAndTakesAnIntegerForAFloat) {
    const vexar::Applied integration = camera.set("IntegrationTime", 1.0);
    EXPECT_EQ(integration.requested, vexar::Value(1.0f));

    // An integer where a float is taken is converted; an identifier names the parameter.
    EXPECT_FALSE(camera.set("3", 25).outsideAdvertisedRange);
    EXPECT_EQ(camera.get("FrameRate"), vexar::Value(25.0f));
}

// A write through a system state rewrites every voltage: each must go back as the byte its
// device holds, whatever that byte is, and one nothing is known of must not be invented (unforced,
// that is the cross-face table's "region with the voltages unknown"; a profile leaves such a
// voltage out, test_profiles.py).
TEST_F(CameraTest, WritesThroughAStateLeaveEveryVoltageByteAsItWas) {
    camera.set("ModulationFrequency", 20);
    const vexar::Applied forced = camera.set("RegionOfInterest", vexar::Region{0, 0, 160, 120},
                                             vexar::WriteOptions{false, true});
    EXPECT_EQ(forced.state.assumed.size(), 3u);
    EXPECT_EQ(camera.readRegister(0x28, 0x11), std::optional<std::uint8_t>(127));

    camera.set("LeftIlluminationVoltage", 12.5f);
    for (int byte = 0; byte < 256; ++byte) {
        camera.writeRegister(0x28, 0x11, static_cast<std::uint8_t>(byte));
        camera.set("RegionOfInterest", vexar::Region{0, 0, byte % 2 == 0 ? 160 : 320, 120});
        ASSERT_EQ(camera.readRegister(0x28, 0x11), std::optional<std::uint8_t>(byte));
    }
    EXPECT_EQ(camera.readRegister(0x2a, 0x11), std::optional<std::uint8_t>(31));
    const vexar::Settings profile = camera.profile().parameters;
    EXPECT_EQ(profile.front(), (std::pair<std::string, vexar::Value>{"LeftIlluminationVoltage",
                                                                     vexar::Value(12.5f)}));
}

TEST_F(CameraTest, BadInputIsToldApartFromRefusals) {
    // An unknown name, a read-only parameter and a plug-in that cannot be loaded are rows of
    // the cross-face table (tests/faces), which asks this library's C++ face too.
    EXPECT_EQ(kindOf([&] { camera.set("FrameRate", vexar::Region{}); }),
              vexar::ErrorKind::BadInput);
    EXPECT_EQ(kindOf([&] { camera.set("FrameRate", std::nanf("")); }), vexar::ErrorKind::BadInput);
    EXPECT_EQ(kindOf([&] { camera.readRegister(0x200); }), vexar::ErrorKind::BadInput);
    EXPECT_EQ(kindOf([&] { vexar::Camera::open("nowhere", withPlugin()); }),
              vexar::ErrorKind::BadInput);
    camera.close();
    EXPECT_EQ(kindOf([&] { camera.get("FrameRate"); }), vexar::ErrorKind::BadInput);
}

// A parameter missing from the table would fall out of every face's grouped view.
TEST(ParameterGroups, EveryParameterIsInOneOfTheListedGroups) {
    const auto groups = vexar::parameterGroups();
    ASSERT_EQ(groups.size(), 4u);
    std::map<std::string, int> members;
    for (const auto& parameter : vexar::parameterNames()) {
        const std::string group = vexar::parameterGroup(parameter);
        EXPECT_NE(std::ranges::find(groups, group), groups.end()) << parameter.name;
        ++members[group];
    }
    for (const auto& group : groups) EXPECT_GT(members[group], 0) << group;
    EXPECT_EQ(vexar::parameterGroup(vexar::parameterNamed("IntegrationTime")), "frame timing");
    EXPECT_EQ(vexar::parameterGroup(vexar::parameterNamed("Range")), "modulation and dealiasing");
}

// The bus's -EIO is -5, the plug-in's OutOfRange is -5 too: only the bus's record tells them
// apart.
TEST(CameraBus, ABusFailureIsNotARefusalWhateverItsNumber) {
    std::atomic<int> countdown = 1 << 30;
    vexar::Camera camera =
        vexar::Camera::open(std::make_unique<ModuleBus>(nullptr, &countdown, EIO), withPlugin());
    EXPECT_EQ(camera.backend(), "test bus");
    EXPECT_EQ(camera.get("FrameRate"), vexar::Value(30.0f));
    countdown = 0;
    try {
        camera.set("FrameRate", 25);
        FAIL() << "the write went through a failing bus";
    } catch (const vexar::Error& error) {
        EXPECT_EQ(error.kind(), vexar::ErrorKind::BusFailure);
        EXPECT_EQ(error.busErrno(), EIO);
        EXPECT_THAT(error.what(), HasSubstr("on test bus: Input/output error (-5)"));
        // The -5 the plug-in passed on is no code of its own: no code, no code name anywhere.
        EXPECT_FALSE(error.code());
        EXPECT_THAT(error.what(), Not(HasSubstr("OutOfRange")));
        const vexar::Json json = vexar::toJson(error);
        EXPECT_EQ(json["kind"], "BusFailure");
        EXPECT_TRUE(json["code_name"].is_null() && json["code"].is_null());
        EXPECT_EQ(json["errno"], EIO);
    }
    countdown = 1 << 30;
    EXPECT_EQ(camera.get("FrameRate"), vexar::Value(30.0f));
    const std::vector<vexar::Transaction> record = camera.transactions();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back().result, 0);
}

// Only a module the library holds itself is seen past the bus: its registers without
// transactions, the bytes its one-byte devices latched, its power-on state. A caller's bus,
// even with the same module behind it, carries transfers and nothing else.
TEST(CameraBus, OnlyTheLibrarysOwnModuleIsSeenPastTheBus) {
    vexar::Camera own = vexar::Camera::open("sim", withPlugin());
    vexar::Camera caller = vexar::Camera::open(std::make_unique<ModuleBus>(), withPlugin());
    for (vexar::Camera* camera : {&own, &caller}) {
        camera->writeRegister(0x2a, 0x11, 0x42);
        camera->clearTransactions();
        EXPECT_EQ(camera->fields().size(), vexar::Camera::fieldTable().size());
    }
    EXPECT_TRUE(own.transactions().empty());
    EXPECT_FALSE(caller.transactions().empty());

    EXPECT_EQ(own.readRegister(0x2a, 0x11), std::optional<std::uint8_t>(0x42));
    EXPECT_EQ(own.byteDevices().front().latched, std::optional<std::uint8_t>(0x42));
    EXPECT_THROW(caller.readRegister(0x2a, 0x11), vexar::Error);
    for (const vexar::ByteDeviceValue& device : caller.byteDevices()) {
        EXPECT_FALSE(device.latched) << device.role;
    }

    EXPECT_TRUE(own.canReset());
    own.reset();
    EXPECT_EQ(own.readRegister(0x2a, 0x11), std::nullopt);
    EXPECT_FALSE(caller.canReset());
    EXPECT_EQ(kindOf([&] { caller.reset(); }), vexar::ErrorKind::Unsupported)
        << "a caller's bus went back to power-on";
}

TEST_F(CameraTest, TheTransactionRecordIsBoundedAndTheCallbackSeesEveryOne) {
    std::size_t seen = 0;
    camera.onTransaction([&](const vexar::Transaction&) { ++seen; });
    camera.clearTransactions();
    for (int i = 0; i < 7000; ++i) {
        camera.get("FrameRate");
    }
    const std::vector<vexar::Transaction> record = camera.transactions();
    EXPECT_GT(seen, 16384u);
    EXPECT_EQ(record.size(), 16384u);
    EXPECT_EQ(record.back().toString(), camera.transactions().back().toString());
    camera.onTransaction({});
    camera.get("FrameRate");
    EXPECT_EQ(camera.transactions().size(), 16384u);
}

// Recordings overlap, beside the callback, and each holds what happened while it ran.
TEST(CameraTrace, RecordingsOverlapAndOutliveTheCamera) {
    std::optional<vexar::TraceRecording> outer;
    std::size_t told = 0;
    {
        auto camera = vexar::Camera::open("sim", withPlugin());
        camera.onTransaction([&](const vexar::Transaction&) { ++told; });
        outer.emplace(camera.trace());
        camera.set("MicroFrameNumber", 8);  // read, write, read back
        vexar::TraceRecording inner = camera.trace();
        camera.get("MicroFrameNumber");
        EXPECT_EQ(inner.transactions().size(), 1u);
        inner.stop();
        camera.get("MicroFrameNumber");
        EXPECT_EQ(inner.transactions().size(), 1u);
    }
    EXPECT_EQ(outer->transactions().size(), 5u);
    EXPECT_EQ(told, 5u);
    EXPECT_EQ(outer->transactions()[1].direction, vexar::Direction::Write);
}

// Two cameras on one image are two processes sharing one module: each operation holds the
// file, so interleaved read-modify-writes of shared registers lose nothing.
TEST(CameraImage, CamerasSharingAnImageLoseNoUpdate) {
    const fs::path image = fs::temp_directory_path() / ("camera-test-" + std::to_string(getpid()));
    fs::remove(image);
    vexar::Camera first = vexar::Camera::open("image:" + image.string(), withPlugin());
    vexar::Camera second = vexar::Camera::open("image:" + image.string(), withPlugin());
    std::atomic<int> wrong = 0;
    // Both live in register 0x10f: each write read-modify-writes the other's bits.
    std::thread writer([&] {
        for (int i = 0; i < 60; ++i) {
            const float frequency = i % 2 == 0 ? 20.0f : 30.0f;
            wrong += first.set("ModulationFrequency", frequency).applied != vexar::Value(frequency);
        }
    });
    for (int i = 0; i < 60; ++i) {
        const std::int32_t mode = i % 2 == 0 ? 2 : 3;
        wrong += second.set("MixingSignalsMode", mode).applied != vexar::Value(mode);
    }
    writer.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(second.get("ModulationFrequency"), vexar::Value(30.0f));
    EXPECT_EQ(first.get("MixingSignalsMode"), vexar::Value(3));
    fs::remove(image);
}

// What another process may change: everything but this process's own simulated module, though
// an image is a simulated module too.
TEST(CameraImage, OnlyThisProcesssOwnModuleIsUnshared) {
    const fs::path image = fs::temp_directory_path() / ("shared-test-" + std::to_string(getpid()));
    vexar::Camera own = vexar::Camera::open("sim", withPlugin());
    vexar::Camera onImage = vexar::Camera::open("image:" + image.string(), withPlugin());
    vexar::Camera caller = vexar::Camera::open(std::make_unique<ModuleBus>(), withPlugin());
    EXPECT_FALSE(own.shared());
    EXPECT_TRUE(onImage.shared());
    EXPECT_TRUE(caller.shared());
    onImage.close();
    EXPECT_FALSE(onImage.shared());
    fs::remove(image);
}

TEST_F(CameraTest, OneCameraServesSeveralThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t % 2 == 0) {
                    const vexar::Hold hold = camera.hold();
                    const float rate = 10.0f + static_cast<float>(t);
                    camera.set("FrameRate", rate);
                    wrong += camera.get("FrameRate") != vexar::Value(rate);
                } else {
                    wrong += !camera.get("MicroFrameNumber").isInt();
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
}

// Whatever the order of closing, holding, releasing and destroying, and on whichever thread,
// the camera answers or refuses; it never touches what it already let go.
TEST(CameraLifetime, CloseHoldReleaseAndDestroyInAnyOrder) {
    const auto closedRefusal = [](vexar::Camera& camera) {
        return kindOf([&] { camera.get("FrameRate"); }) == vexar::ErrorKind::BadInput;
    };
    {
        auto camera = vexar::Camera::open("sim", withPlugin());
        vexar::Hold hold = camera.hold();
        camera.set("MicroFrameNumber", 8);
        EXPECT_FALSE(camera.closed());
        camera.close();
        EXPECT_TRUE(closedRefusal(camera) && camera.closed());
        hold.release();  // after close: nothing left to release
        camera.close();
    }
    {
        std::optional<vexar::Hold> hold;
        {
            auto camera = vexar::Camera::open("sim", withPlugin());
            hold.emplace(camera.hold());
        }
        hold->release();  // the camera is gone
    }
    {
        auto camera = vexar::Camera::open("sim", withPlugin());
        camera.set("MicroFrameNumber", 2);
        vexar::Camera moved = std::move(camera);
        EXPECT_TRUE(closedRefusal(camera) && camera.closed() && !moved.closed());
        EXPECT_EQ(camera.backend(), "closed");
        EXPECT_EQ(moved.get("MicroFrameNumber"), vexar::Value(std::int32_t{2}));
        moved = vexar::Camera::open("sim", withPlugin());  // the old one closes
    }
}

TEST(CameraLifetime, AHoldEndsOnAnyThreadAndLetsTheOthersIn) {
    auto camera = vexar::Camera::open("sim", withPlugin());
    std::optional<vexar::Hold> hold(camera.hold());
    camera.set("MicroFrameNumber", 8);
    std::thread([&] { hold->release(); }).join();
    std::atomic<bool> read = false;
    std::thread other(
        [&] { read = camera.get("MicroFrameNumber") == vexar::Value(std::int32_t{8}); });
    other.join();
    EXPECT_TRUE(read);
    // Made here, released there while this thread goes on: the others wait only for the hold.
    hold.emplace(camera.hold());
    std::thread releaser([&] { hold->release(); });
    releaser.join();
    std::thread([&] { camera.set("MicroFrameNumber", 4); }).join();
    EXPECT_EQ(camera.get("MicroFrameNumber"), vexar::Value(std::int32_t{4}));
}

TEST(CameraLifetime, AWaitForAnotherThreadsHoldCanBeInterrupted) {
    std::atomic<bool> stop = false;
    auto options = withPlugin();
    options.interrupted = [&] { return stop.load(); };
    auto camera = vexar::Camera::open("sim", options);
    const vexar::Hold hold = camera.hold();
    vexar::ErrorKind kind{};
    std::thread waiter([&] { kind = kindOf([&] { camera.get("FrameRate"); }); });
    stop = true;
    waiter.join();
    EXPECT_EQ(kind, vexar::ErrorKind::Busy);
}

// A caller keeping a lock of its own across calls (Python's GIL) lets go of it in beforeWait;
// the thread it waits for may need that lock to get out, so a wait not told is a deadlock.
TEST(CameraLifetime, ACallAboutToWaitForAnotherThreadTellsBeforeWaitOnce) {
    std::atomic<int> told = 0;
    std::promise<std::thread::id> waiting;
    auto options = withPlugin();
    options.interrupted = [] { return false; };
    options.beforeWait = [&] {
        if (++told == 1) {
            waiting.set_value(std::this_thread::get_id());
        }
    };
    auto camera = vexar::Camera::open("sim", options);
    std::optional<vexar::Hold> hold(camera.hold());
    camera.set("MicroFrameNumber", 8);  // the thread's own calls inside its hold never wait
    camera.get("MicroFrameNumber");
    EXPECT_EQ(told, 0);
    std::thread::id waiter;
    std::thread other([&] {
        waiter = std::this_thread::get_id();
        camera.get("MicroFrameNumber");
    });
    std::future<std::thread::id> toldOn = waiting.get_future();
    const auto status = toldOn.wait_for(std::chrono::seconds(30));
    hold->release();  // what the waiting thread's caller let go of lets this one finish
    other.join();
    ASSERT_EQ(status, std::future_status::ready);
    EXPECT_EQ(toldOn.get(), waiter);
    EXPECT_EQ(told, 1);
    camera.get("MicroFrameNumber");  // the gate free again
    EXPECT_EQ(told, 1);
}

TEST(CameraLifetime, ACloseFromInsideACallIsDoneWhenTheCallEnds) {
    auto camera = vexar::Camera::open("sim", withPlugin());
    int seen = 0;
    camera.onTransaction([&](const vexar::Transaction&) {
        ++seen;
        camera.close();
        camera.onTransaction({});  // replacing the running callback is safe too
    });
    EXPECT_NO_THROW(camera.get("MicroFrameNumber"));
    EXPECT_GE(seen, 1);
    EXPECT_EQ(camera.backend(), "closed");
    EXPECT_THROW(camera.get("MicroFrameNumber"), vexar::Error);
}

}  // namespace
