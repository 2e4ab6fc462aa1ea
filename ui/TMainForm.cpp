#include "ui/TMainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>

#include "hid/DefaultHidPlatform.h"
#ifdef __linux__
#include "hid/linux/HidrawAccess.h"
#endif
#include "ui/QtHidDeviceWatcher.h"
#include "ui/QtHidDispatcher.h"
#include "ui/SystemLook.h"
#include "ui/TMainFormHost.h"

namespace vellox {
namespace {

constexpr int kClientWidth = 800;
constexpr int kClientHeight = 450;

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

}  // namespace

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QWidget(parent),
      ReadBtn(this),
      Image1(this),
      Memo4(this),
      Panel2(this),
      READ_car(&Panel2),
      Write_car(&Panel2),
      Verify(&Panel2),
      StringGrid1(2, 2, &Panel2),
      DevListBox(&Panel2),
      language_button(&Panel2),
      StatusBar1(this),
      Gauge1(this),
      Language_str(LanguageTable::InitialStr()),
      Language_st_e2(LanguageTable::StE2()),
      Language0(LanguageTable::Zero()),
      options_(std::move(options)) {
    BuildLayout();
    BuildDevices();
    FormCreate();
    if (options_.startTimers) {
        Timer1.start();
        Timer2.start();
    }
}

TMainForm::~TMainForm() {
    // The selected record's reading thread delivers into the engine: stop it first, then the
    // engine gives its records back, then the controller goes, and only then what the
    // controller and its records were built on.
    DevListBoxClick();
    download_.reset();
    dialogue_.reset();
    watcher_.reset();
    HidCtl.reset();
    dispatcher_.reset();
    host_.reset();
    platform_.reset();
}

void TMainForm::BuildDevices() {
    platform_ = options_.platform;
    if (!platform_) {
        platform_ = make_default_hid_platform();
#ifdef __linux__
        if (!options_.deniedNodes) {
            options_.deniedNodes = [] { return denied_hidraw_nodes(0xFFFF, 0x2016); };
        }
#endif
    }
    dispatcher_ = std::make_unique<QtHidDispatcher>();
    HidCtl = std::make_unique<THidDeviceController>(*platform_, *dispatcher_);
    // Device changes are rescanned on this thread, from the event loop.
    watcher_ = std::make_unique<QtHidDeviceWatcher>(*HidCtl);
    host_ = std::make_unique<TMainFormHost>(*this);
    dialogue_ = std::make_unique<DeviceDialogue>(*host_, *HidCtl);
    download_ = std::make_unique<FirmwareDownload>(*dialogue_, *host_);
}

void TMainForm::BuildLayout() {
    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(QStringLiteral("Vellox"));
    setWindowIcon(AppIcon());
    // System menu and minimise; no maximise, and the size is fixed.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, BtnFaceColor());
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(SansFont(10));
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }

    ReadBtn.setObjectName(QStringLiteral("ReadBtn"));
    ReadBtn.setGeometry(216, -105, 81, 22);
    ReadBtn.setText(QStringLiteral("Read"));
    ReadBtn.setCheckable(true);
    ReadBtn.setAutoRaise(true);
    ReadBtn.hide();

    Gauge1.setObjectName(QStringLiteral("Gauge1"));
    Gauge1.setGeometry(0, 4, 200, 39);
    Gauge1.setKind(TGaugeKind::gkHorizontalBar);
    Gauge1.setShowText(true);
    Gauge1.setBorderStyle(TBorderStyle::bsNone);
    Gauge1.setForeColor(QColor(0, 0, 255));
    Gauge1.setBackColor(BtnFaceColor());
    Gauge1.setFont(SansFont(21));
    Gauge1.hide();

    Image1.setObjectName(QStringLiteral("Image1"));
    Image1.setGeometry(0, 0, kClientWidth, 115);
    // Unscaled from the top-left corner; QLabel clips what does not fit.
    Image1.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1.setScaledContents(false);
    Image1.setPixmap(QPixmap(QStringLiteral(":/vellox/banner.png")));

    Memo4.setObjectName(QStringLiteral("Memo4"));
    Memo4.setGeometry(0, 360, 1201, 172);
    Memo4.setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo4.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo4.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo4.setFont(SongFont(16));
    Memo4.setPlainText(QStringLiteral("Memo4"));
    Memo4.hide();

    Panel2.setObjectName(QStringLiteral("Panel2"));
    Panel2.setGeometry(0, 115, kClientWidth, 294);
    Panel2.setFrameShape(QFrame::NoFrame);
    Panel2.hide();

    READ_car.setObjectName(QStringLiteral("READ_car"));
    READ_car.setGeometry(192, 8, 88, 39);
    READ_car.setText(QStringLiteral("&READ"));
    READ_car.setIcon(QIcon(QStringLiteral(":/vellox/read.png")));
    READ_car.setToolTip(QStringLiteral("Read from chip"));
    READ_car.hide();

    Write_car.setObjectName(QStringLiteral("Write_car"));
    Write_car.setGeometry(8, 0, 129, 73);
    Write_car.setText(QStringLiteral("&Write"));
    Write_car.setIcon(QIcon(QStringLiteral(":/vellox/write.png")));
    Write_car.setIconSize(QSize(32, 32));
    Write_car.setToolTip(QStringLiteral("Write to chip"));

    Verify.setObjectName(QStringLiteral("Verify"));
    Verify.setGeometry(104, 8, 88, 39);
    Verify.setText(QStringLiteral("&Query"));
    Verify.setIcon(QIcon(QStringLiteral(":/vellox/query.png")));
    Verify.setToolTip(QStringLiteral("Verify chip"));
    Verify.hide();

    for (QToolButton* b : {&READ_car, &Write_car, &Verify}) {
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }

    StringGrid1.setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1.setGeometry(0, 94, kClientWidth, 200);
    StringGrid1.setFrameShape(QFrame::NoFrame);
    StringGrid1.setFont(SansFont(17));
    StringGrid1.setDefaultColWidth(360);
    StringGrid1.setDefaultRowHeight(24);
    StringGrid1.hide();

    DevListBox.setObjectName(QStringLiteral("DevListBox"));
    DevListBox.setGeometry(83, 34, 38, 23);
    DevListBox.hide();

    language_button.setObjectName(QStringLiteral("language_button"));
    language_button.setGeometry(296, 8, 81, 41);
    language_button.setText(QStringLiteral("language_button"));
    language_button.hide();
    connect(&language_button, &QPushButton::clicked, this, [this] { language_buttonClick(); });
    connect(&Write_car, &QToolButton::clicked, this, [this] { WRITE_24AAClick(); });
    connect(&Verify, &QToolButton::clicked, this, [this] { VerifyClick(); });

    StatusBar1.setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1.setGeometry(0, 409, kClientWidth, 41);
    StatusBar1.setPanels({TStatusPanel{100, QStringLiteral("Idle"), Qt::AlignHCenter}});

    OpenFlashfile.Title = QStringLiteral("Open File");
    OpenFlashfile.Filter = QStringLiteral("bin file(*.bin)|*.bin");
    OpenFlashfile.HideReadOnly = true;
    OpenFlashfile.PathMustExist = true;
    OpenFlashfile.FileMustExist = true;
    OpenFlashfile.EnableSizing = true;

    for (QTimer* t : {&Timer1, &Timer2}) {
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(10);
    }
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(&Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });

    // Windowless controls lie beneath every windowed sibling; windowed ones stack in layout
    // order. Raising bottom to top leaves exactly that order.
    for (QWidget* w : {static_cast<QWidget*>(&ReadBtn), static_cast<QWidget*>(&Gauge1),
                       static_cast<QWidget*>(&Image1), static_cast<QWidget*>(&Memo4),
                       static_cast<QWidget*>(&Panel2), static_cast<QWidget*>(&StatusBar1)}) {
        w->raise();
    }
    for (QWidget* w :
         {static_cast<QWidget*>(&READ_car), static_cast<QWidget*>(&Write_car),
          static_cast<QWidget*>(&Verify), static_cast<QWidget*>(&StringGrid1),
          static_cast<QWidget*>(&DevListBox), static_cast<QWidget*>(&language_button)}) {
        w->raise();
    }
}

void TMainForm::FormCreate() {
    LanguageIndex = 0;
    LinesPerEntry = 4;

    // The gauge sits at the right end of the status bar, keeping its top and size.
    Gauge1.setParent(&StatusBar1);
    Gauge1.move(StatusBar1.width() - Gauge1.width(), Gauge1.y());

    download_->Busy = false;
    dialogue_->FlashSize = 0;

    QGuiApplication::setApplicationDisplayName(windowTitle());

    QFont statusFont = StatusBar1.font();
    statusFont.setPointSize(16);
    StatusBar1.setFont(statusFont);

    if constexpr (TraceEnabled) Memo4.show();

    language_button.click();

    StringGrid1.setColWidths(1, StringGrid1.width() - StringGrid1.ColWidths(0));
}

void TMainForm::CLOSEME(bool& CanClose) {
    // Closing is allowed in every state, during a download too.
    CanClose = true;
    closeRequested_ = true;
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first activation comes once the event loop runs; later ones are those after the
    // program's own message boxes (see TMainFormHost), not every focus change.
    if (!activated_) {
        activated_ = true;
        QMetaObject::invokeMethod(
            this, [this] { FormActivate(); }, Qt::QueuedConnection);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    CLOSEME(canClose);
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

QString TMainForm::LanguageLine(std::size_t line) const {
    return FromUtf8(Language_str.Line(line));
}

QString TMainForm::text(std::size_t entry) const {
    return FromUtf8(Language_str.Text(entry, LinesPerEntry, LanguageIndex));
}

void TMainForm::language_buttonClick() {
    ++LanguageIndex;
    if (LanguageIndex > 1) LanguageIndex = 0;

    std::size_t i = LanguageIndex + 1u;
    language_button.setText(LanguageLine(i));
    i += LinesPerEntry;
    Write_car.setText(LanguageLine(i));
    i += LinesPerEntry;
    Verify.setText(LanguageLine(i));
    i += LinesPerEntry;
    READ_car.setText(LanguageLine(i));

    i = static_cast<std::size_t>(LinesPerEntry) * 11u + 1u + LanguageIndex;
    StringGrid1.setCells(0, 0, LanguageLine(i));
    i += LinesPerEntry;
    StringGrid1.setCells(1, 0, LanguageLine(i));
}

void TMainForm::FormActivate() {
    activated_ = true;
    dialogue_->FormActivate();
}

void TMainForm::Timer1Timer() { dialogue_->Timer1Timer(); }

void TMainForm::Timer2Timer() { dialogue_->Timer2Timer(); }

void TMainForm::WRITE_24AAClick() { download_->WRITE_24AAClick(); }

void TMainForm::VerifyClick() { dialogue_->VerifyClick(); }

void TMainForm::DevListBoxClick() {
    if (dialogue_) dialogue_->DevListBoxClick();
}

QString TMainForm::NoDeviceText(QString* details) const {
    if (options_.deniedNodes) {
        const std::vector<std::string> denied = options_.deniedNodes();
        if (!denied.empty()) {
            // Panel 0 holds about sixty characters at its font; the whole advice goes into
            // the tooltip.
#ifdef __linux__
            if (details) *details = FromUtf8(permission_denied_message(denied.front()));
#endif
            return QStringLiteral("No permission for %1: install udev/70-vellox.rules")
                .arg(FromUtf8(denied.front()));
        }
    }
    return QStringLiteral("No HID device");
}

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
