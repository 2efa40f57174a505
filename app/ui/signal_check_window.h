// The Signal Check window: the CCDF with the Gaussian noise curve beside it, the spectrum around the
// carrier with the emission offsets marked, the code-domain power of every code, and the numbers;
// the numbers go to the clipboard and the plots into PNG files. SignalCheckLauncher puts the "Signal Check"
// button of the main window to work: enabled once a run has made a file that can be read back, it checks
// the file the last such run made against the settings that run used, on a worker thread with its progress
// shown, and then opens the window.
#pragma once

#include "analysis/signal_check.h"
#include "check/signal_check.h"
#include "run/generation_run.h"

#include <QDialog>
#include <QStringList>

#include <memory>
#include <optional>

class QChartView;
class QPlainTextEdit;
class QPushButton;
class QThread;

namespace varnika::ui {

class SignalCheckWindow : public QDialog {
public:
    explicit SignalCheckWindow(QWidget* parent);

    void show_result(const QString& file, const SignalCheckOutcome& outcome);
    QString numbers() const;
    void copy_numbers() const;
    // Writes BASE-ccdf.png, BASE-spectrum.png and BASE-code-domain.png beside `base`; the files written, or
    // an empty list with `error` saying why.
    QStringList save_plots(const QString& base, QString& error) const;

private:
    void ask_and_save_plots();

    QChartView* ccdf_ = nullptr;
    QChartView* spectrum_ = nullptr;
    QChartView* code_domain_ = nullptr;
    QPlainTextEdit* numbers_ = nullptr;
};

class SignalCheckLauncher : public QObject {
public:
    // Works the button "SignalCheck_Button" of `main_window` with the files `run` makes.
    SignalCheckLauncher(QWidget* main_window, MainForm& form, ProgramLibraries& libraries,
                        GenerationRun& run);
    ~SignalCheckLauncher() override;
    SignalCheckLauncher(const SignalCheckLauncher&) = delete;
    SignalCheckLauncher& operator=(const SignalCheckLauncher&) = delete;

    SignalCheckWindow* window() const { return window_; }
    void start();

private:
    QWidget* main_window_;
    MainForm& form_;
    ProgramLibraries& libraries_;
    GenerationRun& run_;
    QPushButton* button_ = nullptr;
    SignalCheckWindow* window_ = nullptr;
    QThread* worker_ = nullptr;
    // The file the last run that made one wrote, with its settings: a run that fails, is cancelled or
    // streams its waveform leaves it as it was.
    std::optional<MadeWaveform> made_;
};

} // namespace varnika::ui
