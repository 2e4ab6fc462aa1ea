// The command line's writers: JSON text and the progress display.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Json.h"
#include "cli/ProgressOutput.h"

using vellox::cli::Json;
using vellox::cli::ProgressOutput;

// Every reader gets UTF-8 on one line: a file named "é.bin" stays "é", control characters are
// escaped, and a byte that starts no UTF-8 sequence becomes U+FFFD.
TEST(Json, TextIsOneLineOfUtf8InTheOrderWritten) {
    const std::string tricky = "q\"b\\n\nt\tc\x01\x7F";
    const Json json = {{"s", tricky},
                       {"image", "/tmp/\xC3\xA9.bin"},
                       {"latin1", "caf\xE9"},
                       {"a", {1, true, nullptr}},
                       {"o", Json::object()}};
    const std::string text = vellox::cli::json_text(json);
    EXPECT_EQ(text,
              "{\"s\":\"q\\\"b\\\\n\\nt\\tc\\u0001\x7F\",\"image\":\"/tmp/\xC3\xA9.bin\","
              "\"latin1\":\"caf\xEF\xBF\xBD\",\"a\":[1,true,null],\"o\":{}}");
    const Json back = Json::parse(text);
    EXPECT_EQ(back["s"].get<std::string>(), tricky);
    EXPECT_EQ(back["image"].get<std::string>(), "/tmp/\xC3\xA9.bin");
}

// A new phase shows no percentage until its gauge moves: the gauge still holds the value of
// the phase before.
TEST(ProgressOutput, TerminalRedrawsOneLineOnlyWhenThePercentageChanges) {
    std::ostringstream out, err;
    ProgressOutput p(ProgressOutput::Mode::Terminal, out, err);
    p.phase("Erase......");
    p.gauge_visible(true);
    p.gauge_max(100);
    p.gauge_progress(0);
    p.gauge_progress(40);
    p.gauge_progress(40);
    p.phase("Writing......");
    p.gauge_max(3000);
    p.gauge_progress(29);  // still 0 %
    p.gauge_progress(1500);
    p.finish();
    p.finish();
    EXPECT_EQ(err.str(),
              "\rErase......\x1B[K\rErase...... 0%\x1B[K\rErase...... 40%\x1B[K"
              "\rWriting......\x1B[K\rWriting...... 0%\x1B[K\rWriting...... 50%\x1B[K\n");
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressOutput, WithoutEscapesALongerLineBeforeIsClearedWithSpaces) {
    std::ostringstream out, err;
    ProgressOutput p(ProgressOutput::Mode::Terminal, out, err, /*escapes=*/false);
    p.phase("Erase......");
    p.gauge_visible(true);
    p.gauge_progress(40);
    p.phase("OVER......");
    p.finish();
    EXPECT_EQ(err.str(), "\rErase......\rErase...... 40%\rOVER......     \n");
}

TEST(ProgressOutput, LinesModeWritesEachPhaseOnce) {
    std::ostringstream out, err;
    ProgressOutput p(ProgressOutput::Mode::Lines, out, err);
    p.phase("Erase......");
    p.gauge_visible(true);
    p.gauge_progress(50);
    p.phase("Erase......");
    p.phase("Writing......");
    p.finish();
    EXPECT_EQ(err.str(), "Erase......\nWriting......\n");
}

TEST(ProgressOutput, JsonModeWritesEventLinesToStandardOutput) {
    std::ostringstream out, err;
    ProgressOutput p(ProgressOutput::Mode::Json, out, err);
    p.phase("Erase......");
    p.gauge_visible(true);
    p.gauge_max(0);  // an empty gauge shows no percentage rather than dividing by zero
    p.gauge_progress(10);
    p.gauge_max(200);
    p.gauge_progress(300);
    p.phase("Verify......");
    EXPECT_EQ(out.str(),
              "{\"event\":\"phase\",\"text\":\"Erase......\"}\n"
              "{\"event\":\"progress\",\"phase\":\"Erase......\",\"percent\":5}\n"
              "{\"event\":\"progress\",\"phase\":\"Erase......\",\"percent\":100}\n"
              "{\"event\":\"phase\",\"text\":\"Verify......\"}\n");
    EXPECT_EQ(err.str(), "");
}
