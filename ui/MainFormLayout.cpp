#include "ui/MainFormLayout.h"

#include <cstdio>
#include <cstdlib>

namespace vellox::layout {

std::span<const std::string_view> font_families(FontFace face) {
    static constexpr std::array<std::string_view, 4> sans{"MS Sans Serif", "DejaVu Sans",
                                                          "WenQuanYi Zen Hei", "Tahoma"};
    static constexpr std::array<std::string_view, 5> song{"宋体", "SimSun", "WenQuanYi Zen Hei",
                                                          "Noto Sans CJK SC", "DejaVu Sans"};
    if (face == FontFace::Song) return song;
    return sans;
}

const ControlEntry& control(std::string_view name) {
    for (const ControlEntry& c : kControls) {
        if (c.name == name) return c;
    }
    std::fprintf(stderr, "layout: no control named %.*s\n", static_cast<int>(name.size()),
                 name.data());
    std::abort();
}

Point centred_in(int areaLeft, int areaTop, int areaWidth, int areaHeight, int width, int height) {
    return {areaLeft + (areaWidth - width) / 2, areaTop + (areaHeight - height) / 2};
}

bool windowless(ControlKind kind) {
    return kind == ControlKind::SpeedButton || kind == ControlKind::TwoStateButton ||
           kind == ControlKind::Picture || kind == ControlKind::Gauge;
}

std::vector<std::string_view> stacking_order() {
    std::vector<std::string_view> order;
    for (bool drawn : {true, false}) {
        for (const ControlEntry& c : kControls) {
            if (windowless(c.kind) == drawn) order.push_back(c.name);
        }
    }
    return order;
}

}  // namespace vellox::layout
