// With the trace switched on: Memo4 shows from start-up and carries every report.
#include <gtest/gtest.h>

#include <QStringList>

#include "WindowRig.h"
#include "sim/SampleImage.h"

namespace vellox::window_test {
namespace {

QStringList MemoLines(const TMainForm& w) { return w.Memo4.toPlainText().split(QChar('\n')); }

TEST(WindowTrace, QueryAndReplyAppearInMemo4) {
    WindowRig w(std::make_shared<sim::VirtualHidPlatform>(), true);
    EXPECT_FALSE(w.Memo4.isHidden()) << "shown from start-up";
    const auto settings = QuickDevice();
    w.connect(settings);
    const auto reply = sim::EmulatedFirmware::information_reply(settings);
    const QStringList expected = {
        QStringLiteral("Memo4"), QStringLiteral(" "),
        QStringLiteral("out->:") + QString(128, QChar('0')),
        QStringLiteral("IN<-  ") + QString::fromStdString(hex_bytes(reply))};
    EXPECT_EQ(MemoLines(w), expected);
}

TEST(WindowTrace, DownloadTraceStartsAfresh) {
    WindowRig w(std::make_shared<sim::VirtualHidPlatform>(), true);
    w.connect(QuickDevice());
    const std::size_t size = 58 * 3;
    w.offer_image(sim::make_sample_image(size));
    w.Write_car.click();
    ASSERT_EQ(w.status(), QStringLiteral("Download OK!"));
    const QStringList lines = MemoLines(w);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral(" ")) << "the download cleared Memo4 first";
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("out->:1000000001")));
    // Three write reports, each echoed byte for byte.
    QStringList writes, echoes;
    for (const QString& l : lines) {
        if (l.startsWith(QStringLiteral("out->:0C"))) writes << l.mid(6);
        if (l.startsWith(QStringLiteral("IN<-  0C"))) echoes << l.mid(6);
    }
    EXPECT_EQ(writes.size(), 3);
    EXPECT_EQ(echoes, writes);
}

}  // namespace
}  // namespace vellox::window_test
