#pragma once
// The program's one window: banner, device panel, information grid, status bar with the
// progress gauge, and the handlers that the device work runs in.

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdint>

#include "ui/LanguageTable.h"
#include "ui/TGauge.h"
#include "ui/TOpenDialog.h"
#include "ui/TStatusBar.h"
#include "ui/TStringGrid.h"

class QCloseEvent;

namespace vellox {

// What the window is built with. The program uses the defaults; tests and the demo pass
// their own.
struct TMainFormOptions {
    // Start Timer1 and Timer2 at creation. Tests switch this off and call the tick handlers
    // themselves.
    bool startTimers = true;
};

class TMainForm : public QWidget {
    Q_OBJECT
  public:
    explicit TMainForm(TMainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Controls, by their layout names. Declaration order matters: a control is destroyed
    // before the control it lives in, and StatusBar1 comes before Gauge1 because FormCreate
    // moves the gauge into it. The stacking order is set explicitly in the constructor.
    QToolButton ReadBtn;
    QLabel Image1;
    QPlainTextEdit Memo4;
    QFrame Panel2;
    QToolButton READ_car;
    QToolButton Write_car;
    QToolButton Verify;
    TStringGrid StringGrid1;
    QListWidget DevListBox;
    QPushButton language_button;
    TStatusBar StatusBar1;
    TGauge Gauge1;

    // Language tables: the active one and the two variants copied into it.
    LanguageTable Language_str;
    LanguageTable Language_st_e2;
    LanguageTable Language0;

    // Non-visual members.
    TOpenDialog OpenFlashfile;
    QTimer Timer1;
    QTimer Timer2;

    // Window state; every other field starts as zero, false or empty.
    std::uint8_t LanguageIndex = 0;
    std::uint8_t LinesPerEntry = 0;
    bool Busy = false;
    std::uint32_t FlashSize = 0;

    // Handlers.
    void FormCreate();
    void CLOSEME(bool& CanClose);
    void language_buttonClick();
    void Timer1Timer();
    void Timer2Timer();

    // Lookup in the active table for the current language.
    QString text(std::size_t entry) const;

    // True once the window has been asked to close. A nested wait (a download) runs on to its
    // end after that, and message boxes it raises close at once.
    bool closeRequested() const { return closeRequested_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildLayout();
    QString LanguageLine(std::size_t line) const;

    TMainFormOptions options_;
    bool closeRequested_ = false;
};

}  // namespace vellox
