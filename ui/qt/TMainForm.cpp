#include "ui/qt/TMainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>

#include "ui/MainFormLayout.h"
#include "ui/qt/QtHidDeviceWatcher.h"
#include "ui/qt/QtHidDispatcher.h"
#include "ui/qt/SystemLook.h"

namespace vellox {
namespace {

using layout::control;
using layout::ControlEntry;

// The application icon, drawn at each size rather than scaled from one.
QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/vellox/icon-%1.png").arg(size), QSize(size, size));
    }
    icon.addFile(QStringLiteral(":/vellox/icon.png"), QSize(256, 256));
    return icon;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString GlyphFile(layout::Glyph glyph) {
    switch (glyph) {
        case layout::Glyph::Banner:
            return QStringLiteral(":/vellox/banner.png");
        case layout::Glyph::Write:
            return QStringLiteral(":/vellox/write.png");
        case layout::Glyph::Query:
            return QStringLiteral(":/vellox/query.png");
        case layout::Glyph::Read:
            return QStringLiteral(":/vellox/read.png");
        case layout::Glyph::None:
            break;
    }
    return {};
}

// Name, place, size, start-up visibility, font and tooltip of a control from the layout.
void Place(QWidget& w, const ControlEntry& c) {
    w.setObjectName(FromUtf8(c.name));
    w.setGeometry(c.left, c.top, c.width, c.height);
    if (c.font.pixelHeight > 0) w.setFont(LayoutFont(c.font));
    if (!c.tooltip.empty()) w.setToolTip(FromUtf8(c.tooltip));
    w.setVisible(c.visible);
}

void PlaceSpeedButton(QToolButton& b, const ControlEntry& c) {
    Place(b, c);
    b.setText(FromUtf8(c.caption));
    b.setAutoRaise(true);
    b.setCheckable(c.kind == layout::ControlKind::TwoStateButton);
    if (c.glyph != layout::Glyph::None) {
        b.setIcon(QIcon(GlyphFile(c.glyph)));
        if (c.glyphSize > 0) b.setIconSize(QSize(c.glyphSize, c.glyphSize));
        b.setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
}

}  // namespace

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QWidget(parent),
      MainFormLogic(std::move(options)),
      ReadBtn(this),
      Image1(this),
      Memo4(this),
      Panel2(this),
      READ_car(&Panel2),
      Write_car(&Panel2),
      Verify(&Panel2),
      StringGrid1(layout::kGridColumns, layout::kGridRows, &Panel2),
      DevListBox(&Panel2),
      language_button(&Panel2),
      StatusBar1(this),
      Gauge1(this) {
    BuildLayout();
    dispatcher_ = std::make_unique<QtHidDispatcher>();
    BuildDevices(*dispatcher_);
    // Device changes are rescanned on this thread, from the event loop.
    watcher_ = std::make_unique<QtHidDeviceWatcher>(*HidCtl);
    FormCreate();
    if (Options().startTimers) {
        Timer1.start();
        Timer2.start();
    }
}

TMainForm::~TMainForm() {
    watcher_.reset();
    ReleaseDevices();
}

void TMainForm::BuildLayout() {
    setObjectName(FromUtf8(layout::kWindowClass));
    setWindowTitle(FromUtf8(layout::kWindowTitle));
    setWindowIcon(AppIcon());
    const layout::WindowFrame& frame = layout::kWindowFrame;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   (frame.minimiseBox ? Qt::WindowMinimizeButtonHint : Qt::Widget) |
                   (frame.maximiseBox ? Qt::WindowMaximizeButtonHint : Qt::Widget));
    resize(layout::kClientWidth, layout::kClientHeight);
    if (frame.fixedSize) setFixedSize(size());
    if (frame.buttonFaceBackground) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, BtnFaceColor());
        setPalette(pal);
        setAutoFillBackground(true);
    }
    setFont(LayoutFont(layout::kWindowFont));
    if (const QScreen* s = screen(); s != nullptr && frame.centred) {
        const QRect area = s->availableGeometry();
        const layout::Point at =
            layout::centred_in(area.x(), area.y(), area.width(), area.height(), width(), height());
        move(at.x, at.y);
    }

    PlaceSpeedButton(ReadBtn, control("ReadBtn"));

    Place(Gauge1, control("Gauge1"));
    Gauge1.setLook(kGauge1Look, BtnFaceColor());

    const ControlEntry& image = control("Image1");
    Place(Image1, image);
    // Unscaled from the top-left corner; QLabel clips what does not fit.
    Image1.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1.setScaledContents(false);
    Image1.setPixmap(QPixmap(GlyphFile(image.glyph)));

    const ControlEntry& memo = control("Memo4");
    Place(Memo4, memo);
    Memo4.setLineWrapMode(layout::kMemoWordWrap ? QPlainTextEdit::WidgetWidth
                                                : QPlainTextEdit::NoWrap);
    const auto bars = layout::kMemoScrollBars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
    Memo4.setHorizontalScrollBarPolicy(bars);
    Memo4.setVerticalScrollBarPolicy(bars);
    Memo4.setPlainText(FromUtf8(memo.caption));

    Place(Panel2, control("Panel2"));
    Panel2.setFrameShape(QFrame::NoFrame);

    PlaceSpeedButton(READ_car, control("READ_car"));
    PlaceSpeedButton(Write_car, control("Write_car"));
    PlaceSpeedButton(Verify, control("Verify"));

    Place(StringGrid1, control("StringGrid1"));
    StringGrid1.setFrameShape(QFrame::NoFrame);
    StringGrid1.setDefaultColWidth(layout::kGridDefaultColWidth);
    StringGrid1.setDefaultRowHeight(layout::kGridRowHeight);

    Place(DevListBox, control("DevListBox"));

    const ControlEntry& language = control("language_button");
    Place(language_button, language);
    language_button.setText(FromUtf8(language.caption));
    connect(&language_button, &QPushButton::clicked, this, [this] { language_buttonClick(); });
    connect(&Write_car, &QToolButton::clicked, this, [this] {
        ++downloadDepth_;
        WRITE_24AAClick();
        // A close asked for during the download is carried out now.
        if (--downloadDepth_ == 0 && closeAfterDownload_) {
            closeAfterDownload_ = false;
            close();
        }
    });
    connect(&Verify, &QToolButton::clicked, this, [this] { VerifyClick(); });

    Place(StatusBar1, control("StatusBar1"));
    StatusBar1.setPanels(
        {TStatusPanel{layout::kStatusPanelWidth, FromUtf8(layout::kStatusInitialText),
                      layout::kStatusPanelCentred ? Qt::AlignHCenter : Qt::AlignLeft}});

    const FileDialogSettings dialog;
    OpenFlashfile.Title = FromUtf8(dialog.title);
    OpenFlashfile.Filter = FromUtf8(dialog.filter) + QLatin1Char('|') + FromUtf8(dialog.pattern);
    OpenFlashfile.HideReadOnly = dialog.hideReadOnly;
    OpenFlashfile.PathMustExist = dialog.pathMustExist;
    OpenFlashfile.FileMustExist = dialog.fileMustExist;
    OpenFlashfile.EnableSizing = dialog.resizable;

    for (QTimer* t : {&Timer1, &Timer2}) {
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(layout::kTimerInterval);
    }
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(&Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });

    for (std::string_view name : layout::stacking_order()) {
        findChild<QWidget*>(FromUtf8(name))->raise();
    }
}

void TMainForm::MoveGaugeOntoStatusBar() {
    Gauge1.setParent(&StatusBar1);
    Gauge1.move(StatusBar1.width() - Gauge1.width(), Gauge1.y());
}

void TMainForm::SetApplicationTitle() { QGuiApplication::setApplicationDisplayName(windowTitle()); }

void TMainForm::SetStatusBarFontPoints(int points) {
    QFont statusFont = StatusBar1.font();
    statusFont.setPointSize(points);
    StatusBar1.setFont(statusFont);
}

void TMainForm::SetMemo4Visible() { Memo4.show(); }

void TMainForm::ApplyLanguageCaptions(const LanguageCaptions& c) {
    language_button.setText(FromUtf8(c.language_button));
    Write_car.setText(FromUtf8(c.Write_car));
    Verify.setText(FromUtf8(c.Verify));
    READ_car.setText(FromUtf8(c.READ_car));
    StringGrid1.setCells(0, 0, FromUtf8(c.gridHeader0));
    StringGrid1.setCells(1, 0, FromUtf8(c.gridHeader1));
}

void TMainForm::FitGridColumns() {
    StringGrid1.setColWidths(1, StringGrid1.width() - StringGrid1.ColWidths(0));
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FirstShow()) {
        QMetaObject::invokeMethod(
            this, [this] { FirstActivation(); }, Qt::QueuedConnection);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    CLOSEME(canClose);
    if (canClose && downloadDepth_ > 0) {
        // The window stays in sight, with its gauge, until the download returns: a user who
        // saw it gone would unplug the device or start a second copy that talks to it.
        closeAfterDownload_ = true;
        canClose = false;
    }
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

QString TMainForm::text(std::size_t entry) const { return FromUtf8(LanguageText(entry)); }

void TMainForm::SetStatusBar(std::string_view text, bool red, std::string_view details) {
    StatusBar1.setColor(red ? QColor(Qt::red) : BtnFaceColor());
    StatusBar1.setPanelText(0, FromUtf8(text));
    StatusBar1.setToolTip(FromUtf8(details));
}

void TMainForm::ClearMemo4() { Memo4.clear(); }

void TMainForm::AppendMemo4(std::string_view line) { Memo4.appendPlainText(FromUtf8(line)); }

void TMainForm::SetPanel2Visible(bool visible) { Panel2.setVisible(visible); }

void TMainForm::SetGridRows(const std::vector<std::pair<std::string, std::string>>& rows,
                            bool visible) {
    StringGrid1.setRowCount(static_cast<int>(rows.size()) + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        StringGrid1.setCells(0, row, FromUtf8(rows[i].first));
        StringGrid1.setCells(1, row, FromUtf8(rows[i].second));
    }
    StringGrid1.setVisible(visible);
}

void TMainForm::SetGaugeVisible(bool visible) { Gauge1.setVisible(visible); }

void TMainForm::SetGaugeMax(std::int32_t max) { Gauge1.setMaxValue(max); }

void TMainForm::SetGaugeProgress(std::int32_t progress) { Gauge1.setProgress(progress); }

void TMainForm::RunErrorBox(std::string_view text) { ExecuteErrorBox(FromUtf8(text)); }

void TMainForm::RunMessageBox(std::string_view text) { ExecuteMessageBox(FromUtf8(text)); }

std::optional<std::filesystem::path> TMainForm::RunOpenFlashfile() {
    const std::optional<QString> chosen = ExecuteOpenFlashfile();
    if (!chosen) return std::nullopt;
    return std::filesystem::path(chosen->toStdString());
}

void TMainForm::RunPendingMessages() { PumpMessages(); }

void TMainForm::ExecuteErrorBox(const QString& text) {
    QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
}

void TMainForm::ExecuteMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
}

std::optional<QString> TMainForm::ExecuteOpenFlashfile() {
    if (!OpenFlashfile.Execute(this)) return std::nullopt;
    return OpenFlashfile.FileName;
}

void TMainForm::PumpMessages() { QCoreApplication::processEvents(); }

}  // namespace vellox
