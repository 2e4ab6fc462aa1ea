// The information query: when it is sent, and how the reply fills the grid, ProductId and
// FlashSize.
#include <algorithm>

#include "dialogue/DeviceDialogue.h"

namespace vellox {

namespace {

struct InfoField {
    std::int32_t first;
    std::int32_t length;
};
// Fields 0..5 of the information reply, by their byte in InReport.
constexpr InfoField info_fields[] = {{6, 8}, {14, 4}, {22, 8}, {30, 8}, {38, 8}, {46, 16}};

constexpr std::size_t ByteDisplayGate = 4;
constexpr std::size_t ByteCapacity = 62;

}  // namespace

void DeviceDialogue::Timer2Timer() {
    if (!Timer2Enabled) return;
    if (++QueryTicks == QueryDelayTicks) VerifyClick();
}

void DeviceDialogue::VerifyClick() {
    Timer2Enabled = false;
    ReadBtnDown = true;
    ReadBtnClick();
    // Another program's download must not see our query: keep what the grid shows and try
    // again shortly.
    if (!lock_for_query()) {
        DeviceBusy = true;
        QueryKeptBack_ = true;
        QueryTicks = QueryDelayTicks - BusyRetryTicks;
        Timer2Enabled = true;
        host_.set_status(DeviceBusyText, StatusColour::Normal);
        return;
    }
    if (QueryKeptBack_) host_.set_status("", StatusColour::Normal);
    QueryKeptBack_ = false;
    DeviceBusy = false;
    std::fill(OutReport.begin() + 2, OutReport.begin() + ReportLength, 0);
    OutReport[ByteCommand] = CMD_INFO;
    send_report(StatusCode, 10);
    // Nothing went out: no reply will end the query's hold.
    if (StatusCode != DialogueStatus::Ok && UnlockOnInformation_) UnlockDevice();
    reset_display();
    host_.show_grid(StringGrid1);
}

void DeviceDialogue::reset_display() {
    StringGrid1.rows.assign(1, {});
    StringGrid1.visible = false;
    ProductId.clear();
}

void DeviceDialogue::evaluate_information() {
    reset_display();
    ActiveLabelTable = InReport[14] == 'E' && InReport[15] == '2' ? LabelTable::Language_st_e2
                                                                  : LabelTable::Language0;
    host_.use_label_table(ActiveLabelTable);
    for (std::int32_t i = 0; i < 6; ++i) get_query(i, info_fields[i].first, info_fields[i].length);
    FlashSize =
        static_cast<std::uint32_t>(InReport[ByteCapacity] * 256 + InReport[ByteCapacity + 1]) << 10;
    if (InReport[ByteDisplayGate] == 0) StringGrid1.visible = true;
    host_.show_grid(StringGrid1);
}

void DeviceDialogue::get_query(std::int32_t field, std::int32_t first, std::int32_t length) {
    if (first < 1 || length < 0 || first + length > static_cast<std::int32_t>(InReport.size())) {
        return;
    }
    const std::uint8_t lead = InReport[static_cast<std::size_t>(first)];
    if (lead < 32 || lead > 126) return;

    std::string value(InReport.begin() + first, InReport.begin() + first + length);
    // The header row counts as filled, so a grid cut to it gets a fresh row.
    if (StringGrid1.rows.empty() || !StringGrid1.rows.back().first.empty()) {
        StringGrid1.rows.emplace_back();
    }
    // Shown as the platform reads single-byte characters; the product check compares the bytes.
    StringGrid1.rows.back() = {host_.field_label(field), HidCtl_.Platform().device_text(value)};
    if (InReport[ByteDisplayGate] == 0 && field == 1) ProductId = value;
}

}  // namespace vellox
