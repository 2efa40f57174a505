#include "ui/signal_check_window.h"

#include "ui/binding.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QThread>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace varnika::ui {

namespace {

// The lowest probability the CCDF plot shows.
constexpr double ccdf_floor = 1e-6;
// The code-domain bars stand 10 dB under the weakest code shown, on a whole 10 dB.
double bar_floor_db(const analysis::CodeDomainResult& codes) {
    double lowest = 0.0;
    for (const std::vector<double>* axis : {&codes.code_powers_db, &codes.q_powers_db}) {
        for (double db : *axis) {
            lowest = std::min(lowest, db);
        }
    }
    return std::clamp(10.0 * std::floor((lowest - 5.0) / 10.0), -140.0, -20.0);
}

QChartView* chart_view(const QString& name, QWidget* parent) {
    auto* view = new QChartView(new QChart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(420, 300);
    view->chart()->legend()->setAlignment(Qt::AlignBottom);
    return view;
}

// Replaces the chart's series and axes.
QChart* fresh_chart(QChartView* view, const QString& title) {
    QChart* chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    chart->setTitle(title);
    return chart;
}

void attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

void show_ccdf(QChartView* view, const analysis::CcdfResult& ccdf, bool real_signal) {
    QChart* chart = fresh_chart(view, "CCDF");
    auto* x = new QValueAxis;
    x->setRange(0.0, 15.0);
    x->setTitleText("dB above mean power");
    x->setTickCount(16);
    x->setLabelFormat("%.0f");
    auto* y = new QLogValueAxis;
    y->setRange(ccdf_floor, 1.0);
    y->setBase(10.0);
    y->setTitleText("Probability");
    y->setLabelFormat("%g");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto* measured = new QLineSeries;
    measured->setName("Waveform");
    auto* noise = new QLineSeries;
    noise->setName(real_signal ? "Real Gaussian noise" : "Complex Gaussian noise");
    noise->setPen(QPen(QColor(0x80, 0x80, 0x80), 1.5, Qt::DashLine));
    for (int k = 0; k < analysis::ccdf_points; ++k) {
        const double db = k * analysis::ccdf_step_db;
        if (ccdf.curve[static_cast<std::size_t>(k)] >= ccdf_floor) {
            measured->append(db, ccdf.curve[static_cast<std::size_t>(k)]);
        }
        const double gaussian = analysis::gaussian_ccdf(db, real_signal);
        if (gaussian >= ccdf_floor) {
            noise->append(db, gaussian);
        }
    }
    attach(chart, measured, x, y);
    attach(chart, noise, x, y);
}

void show_spectrum(QChartView* view, const analysis::SpectrumResult& spectrum) {
    QChart* chart = fresh_chart(view, "Spectrum (30 kHz RBW)");
    auto* series = new QLineSeries;
    series->setName("Power in 30 kHz relative to the total");
    double lowest = 0.0;
    for (const auto& [frequency, db] : spectrum.psd) {
        series->append(frequency / 1e6, db);
        lowest = std::min(lowest, db);
    }
    auto* x = new QValueAxis;
    x->setTitleText("Frequency (MHz)");
    if (!spectrum.psd.empty()) {
        x->setRange(spectrum.psd.front().first / 1e6, spectrum.psd.back().first / 1e6);
    }
    x->setTickCount(11);
    x->setLabelFormat("%.1f");
    auto* y = new QValueAxis;
    y->setTitleText("dB");
    y->setRange(std::max(-140.0, 10.0 * std::floor(lowest / 10.0)), 0.0);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0.0);
    y->setTickInterval(y->min() < -80.0 ? 20.0 : 10.0);
    y->setLabelFormat("%.0f");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    attach(chart, series, x, y);
    // The emission offsets, each marked at its power in 30 kHz.
    auto* marks = new QScatterSeries;
    marks->setObjectName("SignalCheck_EmissionMarks");
    marks->setName("Emission offsets");
    marks->setMarkerSize(8.0);
    marks->setColor(QColor(0xd0, 0x30, 0x20));
    for (std::size_t k = 0; k < analysis::emission_offsets_hz.size(); ++k) {
        marks->append((spectrum.carrier_hz + analysis::emission_offsets_hz[k]) / 1e6,
                      std::max(y->min(), spectrum.emissions_dbc[k]));
    }
    attach(chart, marks, x, y);
}

// Every code on its code index, the codes of active channels coloured and the others grey; on the
// reverse link the I branch's codes and then the Q branch's.
void show_code_domain(QChartView* view, const SignalCheckOutcome& outcome) {
    QChart* chart = fresh_chart(view, "Code-domain power");
    const analysis::Result& result = *outcome.result;
    if (!result.code_domain) {
        chart->setTitle(result.code_domain_note.empty()
                            ? QString("Code-domain power: not measured")
                            : "Code-domain power: " + qt_text(result.code_domain_note));
        return;
    }
    const analysis::CodeDomainResult& codes = *result.code_domain;
    const double floor_db = bar_floor_db(codes);
    auto* active = new QBarSet("Active codes");
    active->setColor(QColor(0x20, 0x60, 0xc0));
    auto* inactive = new QBarSet("Inactive codes");
    inactive->setColor(QColor(0xa0, 0xa0, 0xa0));
    QStringList categories;
    const bool reverse = !codes.q_powers_db.empty();
    auto add_axis = [&](const std::vector<double>& powers, const std::vector<bool>& on,
                        const QString& prefix) {
        for (std::size_t k = 0; k < powers.size(); ++k) {
            categories << prefix + QString::number(k);
            const double height = std::max(0.0, powers[k] - floor_db);
            const bool is_active = k < on.size() && on[k];
            *active << (is_active ? height : 0.0);
            *inactive << (is_active ? 0.0 : height);
        }
    };
    add_axis(codes.code_powers_db, codes.code_active, reverse ? "I" : "");
    if (reverse) {
        add_axis(codes.q_powers_db, codes.q_active, "Q");
    }
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setTitleText(
        QString("Code index (Walsh %1%2)").arg(codes.walsh_length).arg(reverse ? ", I then Q" : ""));
    x->setLabelsVisible(false);
    auto* y = new QCategoryAxis;
    y->setRange(0.0, -floor_db);
    const int step = floor_db < -60.0 ? 20 : 10;
    for (int db = static_cast<int>(floor_db); db <= 0; db += step) {
        y->append(QString::number(db), db - floor_db);
    }
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    y->setTitleText("dB relative to the total");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto* bars = new QStackedBarSeries;
    bars->setObjectName("SignalCheck_CodeBars");
    bars->setBarWidth(1.0);
    bars->append(active);
    bars->append(inactive);
    attach(chart, bars, x, y);
}

} // namespace

SignalCheckWindow::SignalCheckWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("SignalCheck_Window");
    setWindowTitle(signal_check_title);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    ccdf_ = chart_view("SignalCheck_CCDF", this);
    spectrum_ = chart_view("SignalCheck_Spectrum", this);
    code_domain_ = chart_view("SignalCheck_CodeDomain", this);
    numbers_ = new QPlainTextEdit(this);
    numbers_->setObjectName("SignalCheck_Numbers");
    numbers_->setReadOnly(true);
    numbers_->setFont(QFont("Monospace", 9));
    grid->addWidget(ccdf_, 0, 0);
    grid->addWidget(spectrum_, 0, 1);
    grid->addWidget(code_domain_, 1, 0);
    grid->addWidget(numbers_, 1, 1);
    layout->addLayout(grid, 1);
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton("Copy Numbers", this);
    copy->setObjectName("SignalCheck_Copy");
    auto* save = new QPushButton("Save Plots as PNG...", this);
    save->setObjectName("SignalCheck_SavePlots");
    auto* close_button = new QPushButton("Close", this);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(close_button);
    layout->addLayout(buttons);
    connect(copy, &QPushButton::clicked, this, [this] { copy_numbers(); });
    connect(save, &QPushButton::clicked, this, [this] { ask_and_save_plots(); });
    connect(close_button, &QPushButton::clicked, this, &QDialog::close);
    resize(1200, 880);
}

void SignalCheckWindow::show_result(const QString& file, const SignalCheckOutcome& outcome) {
    setWindowTitle(QString(signal_check_title) + " - " + QFileInfo(file).fileName());
    show_ccdf(ccdf_, outcome.result->ccdf, outcome.real_signal);
    show_spectrum(spectrum_, outcome.result->spectrum);
    show_code_domain(code_domain_, outcome);
    numbers_->setPlainText("File: " + file + "\n" + qt_text(signal_check_text(outcome)));
}

QString SignalCheckWindow::numbers() const {
    return numbers_->toPlainText();
}

void SignalCheckWindow::copy_numbers() const {
    QApplication::clipboard()->setText(numbers());
}

QStringList SignalCheckWindow::save_plots(const QString& base, QString& error) const {
    QStringList written;
    const std::array<std::pair<QChartView*, const char*>, 3> plots{
        {{ccdf_, "-ccdf.png"}, {spectrum_, "-spectrum.png"}, {code_domain_, "-code-domain.png"}}};
    for (const auto& [view, suffix] : plots) {
        const QString name = base + suffix;
        // Written under a temporary name and renamed into place: a failed write keeps an earlier file.
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly) || !view->grab().save(&file, "PNG") || !file.commit()) {
            error = "The plot " + name + " was not written: " + file.errorString() + ".";
            return {};
        }
        written << name;
    }
    return written;
}

void SignalCheckWindow::ask_and_save_plots() {
    QString base = QFileDialog::getSaveFileName(this, "Save Plots as PNG", QString(), "PNG (*.png)");
    if (base.isEmpty()) {
        return;
    }
    if (base.endsWith(".png", Qt::CaseInsensitive)) {
        base.chop(4);
    }
    QString error;
    if (save_plots(base, error).isEmpty()) {
        QMessageBox::critical(this, signal_check_title, error);
    }
}

SignalCheckLauncher::SignalCheckLauncher(QWidget* main_window, MainForm& form, ProgramLibraries& libraries,
                                         GenerationRun& run)
    : QObject(main_window), main_window_(main_window), form_(form), libraries_(libraries), run_(run) {
    button_ = main_window->findChild<QPushButton*>("SignalCheck_Button");
    if (button_ == nullptr) {
        return;
    }
    button_->setEnabled(false);
    // The check compares the file with the settings of the run that made it, whatever is changed after.
    run_.on_finished = [this](const RunResult& result) {
        if (result.made) {
            made_ = *result.made;
            button_->setEnabled(true);
        }
    };
    connect(button_, &QPushButton::clicked, this, [this] { start(); });
}

SignalCheckLauncher::~SignalCheckLauncher() {
    run_.on_finished = nullptr;
    if (worker_ != nullptr) {
        worker_->wait();
    }
}

void SignalCheckLauncher::start() {
    if (!made_ || worker_ != nullptr) {
        return;
    }
    const std::filesystem::path file = made_->file;
    // The worker gets its own copy of the setup.
    const SignalCheckSetup setup = signal_check_setup(made_->settings, libraries_);
    auto* progress = new QProgressDialog("Checking " + qt_text(file.filename().string()) + "...", QString(),
                                         0, 100, main_window_);
    progress->setObjectName("SignalCheck_Progress");
    progress->setWindowTitle(signal_check_title);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    auto outcome = std::make_shared<SignalCheckOutcome>();
    worker_ = QThread::create([file, setup, outcome, progress] {
        *outcome = run_signal_check(file, setup, [progress](int percent) {
            QMetaObject::invokeMethod(
                progress, [progress, percent] { progress->setValue(percent); }, Qt::QueuedConnection);
        });
    });
    connect(worker_, &QThread::finished, this, [this, progress, outcome, file] {
        worker_->deleteLater();
        worker_ = nullptr;
        progress->deleteLater();
        if (!outcome->result) {
            form_.platform.show_message(outcome->error, signal_check_title, form::MessageIcon::Critical,
                                        form::MessageButtons::Ok);
            return;
        }
        if (window_ == nullptr) {
            window_ = new SignalCheckWindow(main_window_);
        }
        window_->show_result(qt_text(file.string()), *outcome);
        window_->show();
        window_->raise();
    });
    worker_->start();
}

} // namespace varnika::ui
