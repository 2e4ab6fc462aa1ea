#include "cli/station/LogIndex.h"

#include "cli/Json.h"

namespace vellox::cli {

void LogIndex::feed(std::string_view bytes) {
    std::size_t start = 0;
    for (std::size_t nl; (nl = bytes.find('\n', start)) != std::string_view::npos; start = nl + 1) {
        if (pending_.empty()) {
            line(bytes.substr(start, nl - start));
        } else {
            pending_.append(bytes.substr(start, nl - start));
            line(pending_);
            pending_.clear();
        }
    }
    pending_.append(bytes.substr(start));
}

void LogIndex::end_of_file() {
    if (!pending_.empty()) ++skipped_;
    pending_.clear();
}

void LogIndex::line(std::string_view text) {
    if (text.empty()) return;
    const auto record = parse_json_object(text);
    if (!record) {
        ++skipped_;
        return;
    }
    ++records_;
    if (json_flag(*record, "ok") == true && !json_string(*record, "serial").empty()) {
        succeeded_.insert(json_string(*record, "serial"));
    }
}

}  // namespace vellox::cli
