#include <gtest/gtest.h>

#include <stdexcept>

#include "HidTestSupport.h"

namespace {

using Log = std::vector<std::string>;

class ControllerTest : public HidTest {
  protected:
    std::vector<std::string> ids(THidDeviceController& ctl) {
        std::vector<std::string> out;
        for (std::int32_t i = 0; i < ctl.DeviceCount(); ++i) {
            out.push_back(ctl.DeviceAt(i)->PnPInfo().InstanceId);
        }
        return out;
    }
};

TEST_F(ControllerTest, OnlyOneControllerPerProgram) {
    auto first = std::make_unique<THidDeviceController>(platform, dispatcher);
    try {
        THidDeviceController second(platform, dispatcher);
        FAIL() << "a second controller was created";
    } catch (const EControllerError& e) {
        EXPECT_STREQ(e.what(), "Only one THidDeviceController allowed per program");
    }
    first.reset();
    EXPECT_NO_THROW(THidDeviceController again(platform, dispatcher));
}

TEST_F(ControllerTest, AFailedCreationLeavesRoomForTheNextController) {
    class FailingScan : public sim::VirtualHidPlatform {
        std::vector<THidPnPInfo> scan() override { throw std::runtime_error("scan failed"); }
    } failing;
    EXPECT_THROW(THidDeviceController broken(failing, dispatcher), std::runtime_error);
    EXPECT_NO_THROW(THidDeviceController next(platform, dispatcher));
}

TEST_F(ControllerTest, CreationListsIdentifiedInterfacesInPlatformOrder) {
    auto a = plug();
    sim::VirtualDeviceSetup locked;
    locked.openable = false;
    plug(locked);
    sim::VirtualDeviceSetup mute;
    mute.identifiable = false;
    plug(mute);
    sim::VirtualDeviceSetup held;
    held.exclusive = true;
    held.product = 0x1234;
    auto h = plug(held);

    THidDeviceController ctl(platform, dispatcher);
    EXPECT_EQ(ctl.Version(), "1.0.22");
    ASSERT_EQ(ids(ctl), (Log{a->instance_id(), h->instance_id()}));
    THidDevice* rw = ctl.DeviceAt(0);
    EXPECT_TRUE(rw->ReadWriteAccess());
    EXPECT_TRUE(rw->PluggedIn());
    EXPECT_FALSE(rw->CheckedOut());
    EXPECT_EQ(rw->Attributes().VendorID, 0xFFFF);
    EXPECT_EQ(rw->Attributes().ProductID, 0x2016);
    EXPECT_EQ(rw->Attributes().VersionNumber, 0x0100);
    EXPECT_FALSE(ctl.DeviceAt(1)->ReadWriteAccess());  // held by another program
    EXPECT_EQ(ctl.DeviceAt(1)->Attributes().ProductID, 0x1234);
}

TEST_F(ControllerTest, UnavailableServiceListsNothingAndStaysSilent) {
    plug();
    platform.set_available(false);
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceChange(rec.change());
    ctl.DeviceChange();
    EXPECT_EQ(ctl.DeviceCount(), 0);
    EXPECT_EQ(rec.log, (Log{"change"}));  // only the first assignment's call
}

TEST_F(ControllerTest, EnumerateCounts) {
    {
        THidDeviceController ctl(platform, dispatcher);
        EXPECT_EQ(ctl.Enumerate(), 0);
    }
    for (int i = 0; i < 5; ++i) plug();
    THidDeviceController ctl(platform, dispatcher);
    EXPECT_EQ(ctl.Enumerate(), 1);  // no handler: the walk stops at the first record
    ctl.SetOnEnumerate(rec.enumerate());
    rec.enumerate_stop_at = 3;
    EXPECT_EQ(ctl.Enumerate(), 3);
    EXPECT_EQ(rec.log, (Log{"enumerate 0", "enumerate 1", "enumerate 2"}));
}

TEST_F(ControllerTest, EnumerateSkipsUnpluggedRecordsAndLetsTheHandlerOpenAndCheckOut) {
    auto a = plug();
    plug();
    plug();
    THidDeviceController ctl(platform, dispatcher);
    std::unique_ptr<THidDevice> held;
    ASSERT_TRUE(ctl.CheckOutAt(0, held));
    a->unplug();
    ctl.DeviceChange();  // record 0 stays listed, unplugged
    ASSERT_EQ(ctl.DeviceCount(), 3);

    std::vector<std::unique_ptr<THidDevice>> taken;
    bool could_open = false;
    rec.on_enumerate = [&](THidDevice* d, std::int32_t idx) {
        could_open = d->OpenMain();
        std::unique_ptr<THidDevice> out;
        if (idx == 2 && ctl.CheckOutAt(idx, out)) taken.push_back(std::move(out));
    };
    ctl.SetOnEnumerate(rec.enumerate());
    EXPECT_EQ(ctl.Enumerate(), 2);
    EXPECT_EQ(rec.log, (Log{"enumerate 1", "enumerate 2"}));
    EXPECT_TRUE(could_open);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(taken[0]->CheckedOut());
    EXPECT_FALSE(ctl.DeviceAt(1)->CheckedOut());
}

TEST_F(ControllerTest, FirstAssignmentOfOnDeviceChangeFiresOnceThenOnlyOnChanges) {
    plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceChange(rec.change());
    EXPECT_EQ(rec.log, (Log{"change"}));
    EXPECT_TRUE(ctl.DeviceChangeFired());
    ctl.SetOnDeviceChange(rec.change());        // same function: nothing
    ctl.DeviceChange();                         // nothing changed: no event
    ctl.SetOnDeviceChange(rec.other_change());  // rescans, but the list did not change
    EXPECT_EQ(rec.log, (Log{"change"}));
    plug();
    ctl.DeviceChange();
    EXPECT_EQ(rec.log, (Log{"change", "other change"}));
}

TEST_F(ControllerTest, UnplugOfACheckedInRecord) {
    auto a = plug();
    auto b = plug();
    auto c = plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceUnplug(rec.unplug());
    ctl.SetOnRemoval(rec.removal());
    ctl.SetOnDeviceChange(rec.change());
    rec.log.clear();

    c->unplug();
    a->unplug();
    ctl.DeviceChange();
    // Last list position first; each record's unplug event before its removal event.
    EXPECT_EQ(rec.log,
              (Log{"unplug " + c->instance_id(), "removal " + c->instance_id(),
                   "unplug " + a->instance_id(), "removal " + a->instance_id(), "change"}));
    EXPECT_EQ(ids(ctl), (Log{b->instance_id()}));
}

TEST_F(ControllerTest, UnplugOfACheckedOutRecordRepeatsUntilReleased) {
    auto a = plug();
    auto b = plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceUnplug(rec.unplug());
    ctl.SetOnRemoval(rec.removal());
    ctl.SetOnDeviceChange(rec.change());
    std::unique_ptr<THidDevice> held;
    ASSERT_TRUE(ctl.CheckOutAt(0, held));
    rec.log.clear();

    a->unplug();
    ctl.DeviceChange();
    EXPECT_EQ(rec.log,
              (Log{"unplug " + a->instance_id(), "removal " + a->instance_id(), "change"}));
    EXPECT_FALSE(held->PluggedIn());
    EXPECT_FALSE(held->OpenMain());
    EXPECT_EQ(ctl.DeviceAt(0), held.get());

    rec.log.clear();
    ctl.DeviceChange();  // the unplug event was cleared: only removal and change again
    EXPECT_EQ(rec.log, (Log{"removal " + a->instance_id(), "change"}));

    held.reset();  // the release removes the entry
    EXPECT_EQ(ids(ctl), (Log{b->instance_id()}));
    rec.log.clear();
    ctl.DeviceChange();
    EXPECT_TRUE(rec.log.empty());
}

TEST_F(ControllerTest, ArrivalAppendsAndMayOpenTheRecord) {
    auto a = plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnDeviceChange(rec.change());
    rec.log.clear();
    bool opened = false;
    THidDevice* arrived = nullptr;
    auto on_arrival = [&](THidDevice* d) {
        arrived = d;
        opened = d->OpenMain() && d->GetCaps().OutputReportByteLength == 65;
        rec.log.push_back("arrival");
    };
    ctl.SetOnArrival(THidPlugEvent::bind(&on_arrival));

    auto b = plug();
    ctl.DeviceChange();
    EXPECT_EQ(rec.log, (Log{"arrival", "change"}));
    EXPECT_TRUE(opened);
    EXPECT_EQ(ids(ctl), (Log{a->instance_id(), b->instance_id()}));
    EXPECT_EQ(ctl.DeviceAt(1), arrived);
    EXPECT_FALSE(arrived->InEvent());
}

TEST_F(ControllerTest, ReplugGivesANewIdentityAndANewRecord) {
    auto a = plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.SetOnRemoval(rec.removal());
    ctl.SetOnArrival(rec.arrival());
    a->unplug();
    auto again = plug();
    ctl.DeviceChange();
    EXPECT_EQ(rec.log, (Log{"removal " + a->instance_id(), "arrival " + again->instance_id()}));
    EXPECT_EQ(ids(ctl), (Log{again->instance_id()}));
}

TEST_F(ControllerTest, CheckOutBounds) {
    plug();
    plug();
    THidDeviceController ctl(platform, dispatcher);
    std::unique_ptr<THidDevice> out;
    EXPECT_FALSE(ctl.CheckOutAt(-1, out));
    EXPECT_FALSE(out);
    EXPECT_FALSE(ctl.CheckOutAt(2, out));
    EXPECT_FALSE(out);
    ASSERT_TRUE(ctl.CheckOutAt(1, out));
    EXPECT_TRUE(out->CheckedOut());
    EXPECT_TRUE(out->CanAccess());
    std::unique_ptr<THidDevice> second;
    EXPECT_FALSE(ctl.CheckOutAt(1, second));
    EXPECT_FALSE(second);
}

TEST_F(ControllerTest, CheckOutTakesTheRecordTheIndexNamedBeforeTheOldOneIsReleased) {
    auto a = plug();
    auto b = plug();
    THidDeviceController ctl(platform, dispatcher);
    std::unique_ptr<THidDevice> dev;
    ASSERT_TRUE(ctl.CheckOutAt(0, dev));
    a->unplug();
    ctl.DeviceChange();  // a's record stays listed, unplugged, until released
    ASSERT_EQ(ctl.DeviceCount(), 2);
    // Releasing a's record drops its entry, which moves b from 1 to 0.
    ASSERT_TRUE(ctl.CheckOutAt(1, dev));
    EXPECT_EQ(dev->PnPInfo().InstanceId, b->instance_id());
    EXPECT_EQ(ctl.DeviceCount(), 1);
}

// Handlers may release the record they are told about (the owner of a checked-out record
// may); the controller must not touch it afterwards. The address sanitizer sees any touch.
TEST_F(ControllerTest, HandlersMayReleaseTheirRecord) {
    auto a = plug();
    auto b = plug();
    THidDeviceController ctl(platform, dispatcher);
    std::unique_ptr<THidDevice> held;
    rec.on_enumerate = [&](THidDevice*, std::int32_t idx) {
        ASSERT_TRUE(ctl.CheckOutAt(idx, held));
        held.reset();
    };
    ctl.SetOnEnumerate(rec.enumerate());
    EXPECT_EQ(ctl.Enumerate(), 2);
    ASSERT_EQ(ids(ctl), (Log{a->instance_id(), b->instance_id()}));
    EXPECT_FALSE(ctl.DeviceAt(0)->InEvent());

    auto release = [&](THidDevice* d) {
        if (held.get() == d) held.reset();
    };
    ctl.SetOnRemoval(THidPlugEvent::bind(&release));
    ASSERT_TRUE(ctl.CheckOutAt(0, held));
    a->unplug();
    ctl.DeviceChange();
    EXPECT_FALSE(held);
    ASSERT_EQ(ids(ctl), (Log{b->instance_id()}));

    ctl.SetOnRemoval(rec.removal());
    rec.log.clear();
    ASSERT_TRUE(ctl.CheckOutAt(0, held));
    held->SetUnplugEvent(THidPlugEvent::bind(&release));
    b->unplug();
    ctl.DeviceChange();
    EXPECT_FALSE(held);
    EXPECT_EQ(ctl.DeviceCount(), 0);
    EXPECT_TRUE(rec.log.empty());  // released before the removal event
}

TEST_F(ControllerTest, ReleaseChecksInAFreshRecordInPlaceWithTheSameHandlers) {
    plug();
    plug();
    plug();
    THidDeviceController ctl(platform, dispatcher);
    std::unique_ptr<THidDevice> held;
    ASSERT_TRUE(ctl.CheckOutAt(1, held));
    held->SetDataEvent(rec.data());
    held->SetUnplugEvent(rec.unplug());
    held->SetThreadSleepTime(250);
    EXPECT_TRUE(held->HasReadThread());
    const std::string id = held->PnPInfo().InstanceId;
    THidDevice* old = held.get();

    held.reset();
    ASSERT_EQ(ctl.DeviceCount(), 3);
    THidDevice* fresh = ctl.DeviceAt(1);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(fresh->PnPInfo().InstanceId, id);
    EXPECT_FALSE(fresh->CheckedOut());
    EXPECT_FALSE(fresh->HasReadThread());
    EXPECT_TRUE(fresh->DataEvent() == rec.data());
    EXPECT_TRUE(fresh->UnplugEvent() == rec.unplug());
    EXPECT_EQ(fresh->ThreadSleepTime(), 250);

    // Checking it out again restarts reading with the remembered handler.
    ASSERT_TRUE(ctl.CheckOutAt(1, held));
    EXPECT_TRUE(held->HasReadThread());
}

TEST_F(ControllerTest, HandlersPropagateOnlyToRecordsUsingTheOldOne) {
    plug();
    plug();
    THidDeviceController ctl(platform, dispatcher);
    Recorder other;
    ctl.DeviceAt(1)->SetDataErrorEvent(other.data_error());
    ctl.DeviceAt(1)->SetUnplugEvent(other.unplug());
    ctl.SetOnDeviceDataError(rec.data_error());
    ctl.SetOnDeviceUnplug(rec.unplug());
    ctl.SetOnDeviceData(rec.data());
    EXPECT_TRUE(ctl.DeviceAt(0)->DataErrorEvent() == rec.data_error());
    EXPECT_TRUE(ctl.DeviceAt(1)->DataErrorEvent() == other.data_error());
    EXPECT_TRUE(ctl.DeviceAt(0)->UnplugEvent() == rec.unplug());
    EXPECT_TRUE(ctl.DeviceAt(1)->UnplugEvent() == other.unplug());
    EXPECT_TRUE(ctl.DeviceAt(1)->DataEvent() == rec.data());

    // New records take the data and unplug handlers, not the data-error one.
    plug();
    ctl.DeviceChange();
    EXPECT_TRUE(ctl.DeviceAt(2)->DataEvent() == rec.data());
    EXPECT_TRUE(ctl.DeviceAt(2)->UnplugEvent() == rec.unplug());
    EXPECT_FALSE(ctl.DeviceAt(2)->DataErrorEvent().Assigned());
}

TEST_F(ControllerTest, SleepTimePropagatesWithinBoundsAndNewRecordsStartAt100) {
    plug();
    plug();
    THidDeviceController ctl(platform, dispatcher);
    ctl.DeviceAt(1)->SetThreadSleepTime(40);
    ctl.SetDevThreadSleepTime(0);  // as the window stores it: records keep 100
    EXPECT_EQ(ctl.DevThreadSleepTime(), 0);
    EXPECT_EQ(ctl.DeviceAt(0)->ThreadSleepTime(), 100);
    ctl.SetDevThreadSleepTime(100);
    ctl.SetDevThreadSleepTime(500);
    EXPECT_EQ(ctl.DeviceAt(0)->ThreadSleepTime(), 500);
    EXPECT_EQ(ctl.DeviceAt(1)->ThreadSleepTime(), 40);
    plug();
    ctl.DeviceChange();
    EXPECT_EQ(ctl.DeviceAt(2)->ThreadSleepTime(), 100);
}

TEST_F(ControllerTest, DestructionUnplugsCheckedOutRecordsWhichCanStillBeReleased) {
    plug();
    plug();
    std::unique_ptr<THidDevice> held;
    {
        THidDeviceController ctl(platform, dispatcher);
        ASSERT_TRUE(ctl.CheckOutAt(1, held));
        held->SetUnplugEvent(rec.unplug());
        held->SetDataEvent(rec.data());
    }
    EXPECT_EQ(rec.log, (Log{"unplug " + held->PnPInfo().InstanceId}));
    EXPECT_FALSE(held->PluggedIn());
    EXPECT_EQ(held->Controller(), nullptr);
    held->SetDataEvent(THidDataEvent());
    held.reset();
}

TEST_F(ControllerTest, DeviceChangeNotificationFollowsPlugAndUnplug) {
    THidDeviceController ctl(platform, dispatcher);
    ASSERT_NE(platform.device_change_waitable(), NoHidWaitable);
    EXPECT_FALSE(platform.take_device_change());
    auto a = plug();
    EXPECT_TRUE(platform.take_device_change());
    EXPECT_FALSE(platform.take_device_change());
    a->unplug();
    EXPECT_TRUE(platform.take_device_change());
}

}  // namespace
