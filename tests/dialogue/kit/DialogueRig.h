#pragma once
// A test host for the dialogue engine and everything it needs around it: the fake platform
// on a virtual clock, the real controller and records, and a host that records what the
// window would show. Pumping delivers one due input report of the selected device if its
// reading is on, and otherwise advances the clock by one tick (Timer1Timer, Timer2Timer).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeHidPlatform.h"
#include "dialogue/DeviceDialogue.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDeviceController.h"

namespace vellox::testkit {

class FakeDialogueHost : public DialogueHost {
  public:
    void set_status(std::string_view text, StatusColour colour) override {
        status = text;
        status_colour = colour;
        status_history.emplace_back(text);
    }
    void show_error_box(std::string_view text) override { error_boxes.emplace_back(text); }
    void trace_clear() override { memo.clear(); }
    void trace_append(std::string_view line) override { memo.emplace_back(line); }
    void trace_show() override { memo_visible = true; }
    void set_panel_visible(bool visible) override { panel_visible = visible; }
    void show_grid(const InfoGrid& g) override { grid = g; }
    void use_label_table(LabelTable table) override { label_table = table; }
    std::string field_label(int field) override {
        static const char* const plain[] = {"Hardware Version",    "Product ID",
                                            "Application Version", "RF Version",
                                            "Icon Version",        "SN"};
        static const char* const e2[] = {"Hardware Version",    "Hardware Date",
                                         "Boot Version",        "Boot Date",
                                         "Application Version", "Application Date"};
        return (label_table == LabelTable::Language_st_e2 ? e2 : plain)[field];
    }
    void pump_messages() override {
        ++pumps;
        if (pump) pump();
    }
    bool close_requested() const override { return closing; }

    std::string status = "Idle";
    StatusColour status_colour = StatusColour::Normal;
    std::vector<std::string> status_history;
    std::vector<std::string> error_boxes;
    std::vector<std::string> memo;
    bool memo_visible = false;
    bool panel_visible = false;
    InfoGrid grid;
    LabelTable label_table = LabelTable::Language0;
    bool closing = false;
    long pumps = 0;
    std::function<void()> pump;
};

class DialogueRig {
  public:
    DialogueRig();
    ~DialogueRig();

    // Plugs a device in and lets the controller notice it, as a hotplug event would.
    std::shared_ptr<FakeHidDevice> plug(FakeDeviceSetup setup = {},
                                        std::shared_ptr<sim::DeviceModel> model = nullptr);
    void unplug(const std::shared_ptr<FakeHidDevice>& device);

    // One pass of the message loop: queued handoffs, a rescan if devices changed, then one
    // due input report of a reading record, or else one tick.
    void pump();
    // Advances the clock by `n` ticks, delivering due reports between them.
    void run_ticks(int n);
    // Pumps until nothing is due any more for the reading record (at most `limit` passes).
    void settle(int limit = 10000);

    // Hands one report to the selected record's data event as its reading thread would.
    bool deliver(std::span<const std::uint8_t> data);
    // The record that currently reads `device`, if any.
    THidDevice* reader_of(const FakeHidDevice& device) const;

    VirtualClock clock;
    FakeHidPlatform platform{clock};
    PumpedHidDispatcher dispatcher;
    std::unique_ptr<THidDeviceController> controller;
    FakeDialogueHost host;
    std::unique_ptr<DeviceDialogue> dialogue;
    long ticks = 0;
    long delivered = 0;
    long dropped = 0;  // reports that arrived while nobody was reading
};

// A 64-byte reply with its checksum filled in.
std::vector<std::uint8_t> make_reply(
    std::uint8_t command, std::initializer_list<std::pair<int, std::uint8_t>> bytes = {});

}  // namespace vellox::testkit
