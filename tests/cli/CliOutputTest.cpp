// The command line's writers: JSON text and the progress display.
#include <gtest/gtest.h>

#include <sstream>

#include "MiniJson.h"
#include "cli/JsonWriter.h"
#include "cli/ProgressOutput.h"

using vellox::cli::JsonWriter;
using vellox::cli::ProgressOutput;

TEST(JsonWriter, NestsAndSeparatesAndEscapesEveryByte) {
    std::string tricky = "q\"b\\n\nt\tc\x01";
    tricky += '\x7F';
    tricky += '\xE9';
    JsonWriter json;
    json.begin_object().key("a").begin_array().value(1).value(true).null().end_array();
    json.key("s").value(tricky).key("o").begin_object().end_object().end_object();
    EXPECT_EQ(json.text(),
              "{\"a\":[1,true,null],\"s\":\"q\\\"b\\\\n\\nt\\tc\\u0001\\u007F\\u00E9\",\"o\":{}}");
    // Device texts survive a round trip byte for byte.
    EXPECT_EQ(minijson::parse(json.text())["s"].string, tricky);
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
