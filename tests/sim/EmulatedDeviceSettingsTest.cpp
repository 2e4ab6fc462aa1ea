#include <gtest/gtest.h>

#include "sim/EmulatedDeviceSettings.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

EmulatedDeviceSettings parsed(std::string_view text) {
    auto result = parse_settings(text);
    EXPECT_TRUE(result) << text << ": " << result.error;
    return result.settings.value_or(EmulatedDeviceSettings{});
}

TEST(EmulatedDeviceSettingsParse, EmptyTextGivesDefaults) {
    EXPECT_EQ(format_settings(parsed("")), format_settings(EmulatedDeviceSettings{}));
    EXPECT_EQ(format_settings(parsed(" , ,")), format_settings(EmulatedDeviceSettings{}));
}

TEST(EmulatedDeviceSettingsParse, CommandLineExample) {
    auto s = parsed("product=E201,capacity=131072,interval=1ms,fault=no-finish-reply");
    EXPECT_EQ(s.product_id, "E201");
    EXPECT_EQ(s.capacity, 131072u);
    EXPECT_EQ(s.interval, 1ms);
    EXPECT_TRUE(s.faults.no_finish_reply);
    EXPECT_FALSE(s.faults.silence);
}

TEST(EmulatedDeviceSettingsParse, ValuesOfEveryKind) {
    auto s = parsed(
        " hardware = %00abc , serial=A%2CB%25, gate=255, capacity=64K, erase-pace=125us,"
        "erase-step=25, latency=2s, interval=500ns, fault=corrupt-echo:5, fault=echo-stop:0,"
        "fault=unplug-after:300, fault=query-only, fault=noise");
    EXPECT_EQ(s.hardware_version, std::string("\0abc", 4));
    EXPECT_EQ(s.serial_number, "A,B%");
    EXPECT_EQ(s.display_gate, 255);
    EXPECT_EQ(s.capacity, 65536u);
    EXPECT_EQ(s.erase_pace, 125us);
    EXPECT_EQ(s.erase_step, 25);
    EXPECT_EQ(s.latency, 2s);
    EXPECT_EQ(s.interval, 500ns);
    EXPECT_EQ(s.faults.corrupt_echo_at, 5u);
    EXPECT_EQ(s.faults.echo_limit, 0u);
    EXPECT_EQ(s.faults.unplug_after, 300u);
    EXPECT_TRUE(s.faults.query_only);
    EXPECT_TRUE(s.faults.noise);
    EXPECT_EQ(parsed("capacity=1MiB").capacity, 1024u * 1024u);
    EXPECT_EQ(parsed("capacity=65535K").capacity, max_capacity);
    EXPECT_EQ(parsed("interval=125\u00B5s").interval, 125us);
    EXPECT_EQ(parsed("latency=0").latency, 0ns);
}

TEST(EmulatedDeviceSettingsParse, BadTextIsRefusedWithAReason) {
    const char* bad[] = {
        "product",
        "colour=red",
        "capacity=1000",
        "capacity=65536K",
        "capacity=12X",
        "capacity=",
        "gate=256",
        "gate=-1",
        "erase-step=0",
        "erase-step=101",
        "interval=1",
        "interval=1min",
        "latency=ms",
        "latency=99999999s",
        "fault=explode",
        "fault=corrupt-echo",
        "fault=silence:3",
        "fault=echo-stop:x",
        "hardware=%4",
        "serial=%ZZ",
        "fault=unplug-after:99999999999",
        "clock=fast",
    };
    for (const char* text : bad) {
        auto result = parse_settings(text);
        EXPECT_FALSE(result) << text;
        EXPECT_FALSE(result.error.empty()) << text;
    }
    EXPECT_NE(parse_settings("fault=explode").error.find("explode"), std::string::npos);
}

TEST(EmulatedDeviceSettingsParse, FormattedSettingsReadBackTheSame) {
    EmulatedDeviceSettings s;
    s.product_id = "E2,=";
    s.serial_number = std::string("\x01\x7F%", 3);
    s.display_gate = 3;
    s.capacity = 4096;
    s.erase_pace = 1500us;
    s.latency = 7ns;
    s.interval = 2s;
    s.faults.silence = s.faults.no_erase_replies = s.faults.wrong_verify_sum = true;
    s.faults.no_finish_reply = s.faults.noise = s.faults.refuse_writes = true;
    s.faults.query_only = s.faults.no_verify_reply = s.faults.locked_elsewhere = true;
    s.faults.corrupt_echo_at = 1;
    s.faults.echo_limit = 2;
    s.faults.unplug_after = 3;
    s.virtual_clock = true;  // a station passes it on to its workers this way
    const std::string text = format_settings(s);
    auto back = parse_settings(text);
    ASSERT_TRUE(back) << text << ": " << back.error;
    EXPECT_EQ(format_settings(*back.settings), text);
    EXPECT_EQ(back.settings->product_id, "E2,=");
    EXPECT_EQ(back.settings->serial_number, s.serial_number);
    EXPECT_EQ(back.settings->erase_pace, 1500us);
    EXPECT_TRUE(back.settings->virtual_clock);
}

TEST(EmulatedDeviceSettingsParse, EveryCataloguedFaultParsesAndIsInTheHelp) {
    const std::string help = settings_help();
    ASSERT_EQ(fault_catalogue().size(), 12u);
    for (const auto& f : fault_catalogue()) {
        std::string text = "fault=" + std::string(f.name) + (f.takes_count ? ":4" : "");
        auto result = parse_settings(text);
        ASSERT_TRUE(result) << text << ": " << result.error;
        EXPECT_NE(format_settings(*result.settings), format_settings(EmulatedDeviceSettings{})) << text;
        EXPECT_NE(help.find(f.name), std::string::npos) << f.name;
        EXPECT_FALSE(f.description.empty());
    }
}

}  // namespace
}  // namespace sim
