#pragma once
// The reading of the station's log, on every system: whole lines are records, or torn or
// garbled lines that are skipped and counted.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace vellox::cli {

// What the log says, read piece by piece as it grows: the serial numbers with a success and
// the counts. Holds only an unfinished last line, never the whole log.
class LogIndex {
  public:
    // Reads `bytes`, the next part of the log.
    void feed(std::string_view bytes);
    // The log was replaced by another file: a line left unfinished in the old one is torn.
    void end_of_file();

    bool succeeded(const std::string& serial) const { return succeeded_.count(serial) != 0; }
    const std::set<std::string>& succeeded_serials() const { return succeeded_; }
    std::size_t records() const { return records_; }
    // Torn or garbled lines, an unfinished last line included.
    std::size_t skipped() const { return skipped_ + (pending_.empty() ? 0 : 1); }

  private:
    void line(std::string_view text);

    std::set<std::string> succeeded_;
    std::size_t records_ = 0;
    std::size_t skipped_ = 0;
    std::string pending_;
};

}  // namespace vellox::cli
