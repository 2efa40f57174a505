#include "ui/main_window.h"

#include "form/number_text.h"
#include "run/generation_run.h"
#include "ui/binding.h"
#include "ui/downlink_channel_page_view.h"
#include "ui/exit_dialog.h"
#include "ui/group_frame_style.h"
#include "ui/network_page.h"
#include "ui/password_dialog.h"
#include "ui/qt_platform.h"
#include "ui/spin_field.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>
#include <functional>

namespace varnika::ui {

namespace {

QLabel* label(form::Label& element, QWidget* parent) {
    auto* widget = new QLabel(parent);
    bind_label(widget, element);
    return widget;
}

QComboBox* choice(form::ChoiceList& list, QWidget* parent, int min_width = 0) {
    auto* combo = new QComboBox(parent);
    bind_choice(combo, list);
    if (min_width > 0) {
        combo->setMinimumWidth(min_width);
    }
    return combo;
}

QPushButton* button(form::Button& element, QWidget* parent, int min_width = 0) {
    auto* widget = new QPushButton(parent);
    bind_button(widget, element);
    if (min_width > 0) {
        widget->setMinimumWidth(min_width);
    }
    return widget;
}

QGroupBox* group(const form::Frame& frame, QWidget* parent) {
    QGroupBox* box = make_framed_group(parent);
    bind_frame(box, frame);
    return box;
}

// A row of a form grid: caption, control, unit.
void add_row(QGridLayout* grid, int row, QWidget* caption, QWidget* control, QWidget* unit = nullptr) {
    grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(control, row, 1);
    if (unit != nullptr) {
        grid->addWidget(unit, row, 2, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

QGridLayout* form_grid(QWidget* parent) {
    auto* grid = new QGridLayout(parent);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    return grid;
}

// Adds a page to a tab set whose content is the frame the page shows. The page joins the tab set before
// its content is built into it: a tree of widgets that moves to another parent, as a page does when the
// tab set takes it into its stack, has the window's style sheet reach every one of its widgets again,
// which costs the window's start-up more than building them.
void add_page_with_frame(QTabWidget* tabs, const std::string& caption, form::Frame& frame,
                         const std::function<QWidget*(QWidget*)>& build) {
    auto* page = new QWidget(tabs);
    tabs->addTab(page, qt_text(caption));
    QWidget* content = build(page);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 8);
    // The frame of a page not in front is hidden; its room still counts, so the tab set's size does not
    // depend on the page shown when it was laid out.
    QSizePolicy policy = content->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    content->setSizePolicy(policy);
    bind_frame(content, frame);
    layout->addWidget(content);
}

// Why "Make AWG File" refuses an oversampling ratio, or empty when it takes it: the AWG's sampling rate
// must lie from 12.5 MHz to 200 MHz, which ratios 4 and 8 fall short of.
QString refused_ratio_text(double ratio) {
    const double rate_hz = ratio * chip_rate_hz;
    if (ratio <= 0.0 || (rate_hz >= awg_min_sampling_rate_hz && rate_hz <= awg_max_sampling_rate_hz)) {
        return {};
    }
    return QString("Ratio %1 gives %2 MHz: \"Make AWG File\" needs a sampling rate from %3 MHz to %4 MHz, "
                   "ratio 12 or more. \"Make Floating File\" takes every ratio.")
        .arg(ratio)
        .arg(rate_hz / 1e6, 0, 'f', 4)
        .arg(awg_min_sampling_rate_hz / 1e6)
        .arg(awg_max_sampling_rate_hz / 1e6);
}

} // namespace

void MainWindow::set_about_text(const std::string& text) {
    set_about_text([text] { return text; });
}

void MainWindow::set_about_text(std::function<std::string()> text) {
    const bool first = !about_text_;
    about_text_ = std::move(text);
    if (!first) {
        return;
    }
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = help->addAction(tr("&About Varnika"));
    about->setObjectName("About_Action");
    connect(about, &QAction::triggered, this, [this] {
        // The version the caption carries, then the program's own and its libraries'.
        const std::string shown = form_.Form1.caption() + "\n\n" + about_text_();
        // Window-modal and opened without a nested event loop: the window's models stay as they are.
        auto* box = new QMessageBox(QMessageBox::Information, tr("About Varnika"), qt_text(shown),
                                    QMessageBox::Ok, this);
        box->setObjectName("About_Dialog");
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);
        box->open();
    });
}

MainWindow::MainWindow(MainForm& form, QtPlatform& platform) : form_(form) {
    setObjectName(qt_text(form.Form1.object_name()));
    setWindowTitle(qt_text(form.Form1.caption()));
    platform.register_dialog(form.tester_mode.dialog.Form4, [&form](QWidget* parent) {
        return make_password_dialog(form.tester_mode.dialog, parent);
    });
    platform.register_dialog(form.exit_flow.dialog.Form2, [&form](QWidget* parent) {
        return make_exit_dialog(form.exit_flow.dialog, parent);
    });
    // The session ending is a close request too. Where the session lets the program ask, the dialog's
    // answer decides, and Cancel keeps the session; where it does not, nothing is written, as with
    // "Quit without Saving", so no settings file is ever changed without the user's choice.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (manager.allowsInteraction()) {
            const bool closed = close();
            manager.release();
            if (!closed) {
                manager.cancel();
            }
        }
    });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(build_header(central));
    QWidget* uplink_tabs = build_uplink_tabs(central);
    QWidget* downlink_tabs = build_downlink_tabs(central);
    // Only one tab set is shown at a time. Both share one cell, so that while the link changes the two
    // never ask for room one above the other, and both get the room of the larger whichever page and link
    // are in front: the window opens at one size and keeps it.
    const QSize room = uplink_tabs->sizeHint().expandedTo(downlink_tabs->sizeHint());
    uplink_tabs->setMinimumSize(room);
    downlink_tabs->setMinimumSize(room);
    auto* stack = new QGridLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(uplink_tabs, 0, 0);
    stack->addWidget(downlink_tabs, 0, 0);
    layout->addLayout(stack, 1);
    setCentralWidget(central);
    resize(minimumSizeHint().expandedTo(sizeHint()));
    explain_refused_ratios();
}

void MainWindow::explain_refused_ratios() {
    auto* awg = findChild<QPushButton*>(qt_text(form_.MakeAWGFile_Button.object_name()));
    const std::array<std::pair<const form::ChoiceList*, QComboBox*>, 2> lists{
        std::pair{&form_.uplink.UL_Filter_Over_Combo,
                  findChild<QComboBox*>(qt_text(form_.uplink.UL_Filter_Over_Combo.object_name()))},
        std::pair{&form_.downlink_general.DL_Filter_Over_Combo,
                  findChild<QComboBox*>(qt_text(form_.downlink_general.DL_Filter_Over_Combo.object_name()))}};
    auto update = [this, awg, lists] {
        for (std::size_t link = 0; link < lists.size(); ++link) {
            const auto& [list, combo] = lists[link];
            const QString why = refused_ratio_text(form::leading_number(list->text()));
            combo->setToolTip(why);
            if (static_cast<int>(link) == form_.Link_Selection_Option.selected()) {
                awg->setToolTip(why);
            }
        }
    };
    update();
    keep_while_alive(this, form_.Link_Selection_Option.on_change(update));
    for (const auto& [list, combo] : lists) {
        keep_while_alive(this, list->on_change(update));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    commit_field_in_edit(this);
    if (form_.exit_flow.close_requested()) {
        event->accept();
        // At once, whatever other windows are still open.
        QCoreApplication::quit();
    } else {
        event->ignore();
    }
}

QWidget* MainWindow::build_header(QWidget* parent) {
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    QGroupBox* link = group(form_.link_frame, header);
    auto* link_layout = new QHBoxLayout(link);
    link_layout->addWidget(make_options(form_.Link_Selection_Option, Qt::Horizontal, link));
    row->addWidget(link);

    QGroupBox* tester = group(form_.tester_mode.frame, header);
    auto* tester_layout = new QHBoxLayout(tester);
    tester_layout->addWidget(choice(form_.tester_mode.Tester_Mode_Combo, tester, 70));
    row->addWidget(tester);

    // The read-outs as an instrument display.
    auto* display = new QFrame(header);
    display->setObjectName("Readout_Panel");
    display->setFrameShape(QFrame::StyledPanel);
    display->setFrameShadow(QFrame::Sunken);
    display->setStyleSheet(
        "#Readout_Panel { background: #10261c; border: 1px solid #0b1a13; border-radius: 3px; }"
        "#Readout_Panel QLabel { color: #9fe8b8; }"
        "#SamplingRate_Label, #DataSize_Label { color: #d6ffe2; font-weight: bold; }");
    auto* readouts = new QGridLayout(display);
    readouts->setContentsMargins(12, 6, 12, 6);
    readouts->setHorizontalSpacing(10);
    readouts->setVerticalSpacing(2);
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSizeF(font().pointSizeF() + 1.0);
    Readouts& values = form_.readouts;
    QLabel* rate = label(values.SamplingRate_Label, display);
    QLabel* size = label(values.DataSize_Label, display);
    rate->setFont(mono);
    size->setFont(mono);
    rate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rate->setMinimumWidth(QFontMetrics(mono).horizontalAdvance("000.0000MHz"));
    size->setMinimumWidth(QFontMetrics(mono).horizontalAdvance("0,000,000Points"));
    readouts->addWidget(label(values.SamplingRate_Caption, display), 0, 0);
    readouts->addWidget(rate, 0, 1);
    readouts->addWidget(label(values.DataSize_Caption, display), 1, 0);
    readouts->addWidget(size, 1, 1);
    row->addWidget(display);

    row->addStretch(1);
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(6);
    buttons->setVerticalSpacing(6);
    // A run reads the fields: the one being typed in is applied first, whichever way the button is pressed.
    auto make_button = [this, header](form::Button& element) {
        auto* widget = new QPushButton(header);
        QObject::connect(widget, &QPushButton::clicked, this, [this] { commit_field_in_edit(this); });
        bind_button(widget, element);
        widget->setMinimumWidth(140);
        return widget;
    };
    QPushButton* awg = make_button(form_.MakeAWGFile_Button);
    QPushButton* floating = make_button(form_.MakeFloatingFile_Button);
    QPushButton* exit = button(form_.Exit_Button, header, 90);
    for (QPushButton* b : {awg, floating, exit}) {
        b->setMinimumHeight(30);
    }
    buttons->addWidget(awg, 0, 0);
    buttons->addWidget(floating, 1, 0);
    buttons->addWidget(exit, 0, 1, 2, 1);
    // Worked by SignalCheckLauncher (signal_check_window.h) once a run has made a file.
    auto* check = new QPushButton("Signal Check", header);
    check->setObjectName("SignalCheck_Button");
    check->setEnabled(false);
    check->setMinimumHeight(30);
    buttons->addWidget(check, 2, 0);
    exit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    row->addLayout(buttons);
    return header;
}

QWidget* MainWindow::build_uplink_tabs(QWidget* parent) {
    auto* tabs = new QTabWidget(parent);
    const std::vector<std::string>& captions = form_.UL_SSTab.captions();
    add_page_with_frame(tabs, captions[0], form_.UL_Frame[0],
                        [this](QWidget* page) { return build_uplink_channel_page(page); });
    add_page_with_frame(tabs, captions[1], form_.UL_Frame[1], [this](QWidget* page) {
        return make_network_page(form_.network, uplink_item, page);
    });
    bind_tabs(tabs, form_.UL_SSTab);
    return tabs;
}

QWidget* MainWindow::build_downlink_tabs(QWidget* parent) {
    auto* tabs = new QTabWidget(parent);
    const std::vector<std::string>& captions = form_.DL_SSTab.captions();
    add_page_with_frame(tabs, captions[0], form_.DL_Frame[0],
                        [this](QWidget* page) { return build_downlink_general_page(page); });
    add_page_with_frame(tabs, captions[1], form_.DL_Frame[1],
                        [this](QWidget* page) { return build_downlink_channel_page(form_, page); });
    add_page_with_frame(tabs, captions[2], form_.DL_Frame[2], [this](QWidget* page) {
        return make_network_page(form_.network, downlink_item, page);
    });
    bind_tabs(tabs, form_.DL_SSTab);
    return tabs;
}

QGroupBox* MainWindow::build_channel(UplinkChannel& channel, CaptionedList* extra, QWidget* parent) {
    QGroupBox* box = group(channel.frame, parent);
    QGridLayout* grid = form_grid(box);
    grid->setContentsMargins(8, 6, 8, 6);
    // The same column widths in every channel frame, so the fields line up across the grid of frames.
    const QFontMetrics metrics(box->font());
    grid->setColumnMinimumWidth(0, metrics.horizontalAdvance("Modulation") + 4);
    grid->setColumnMinimumWidth(2, metrics.horizontalAdvance("dB") + 2);
    grid->setColumnStretch(1, 0);
    const int control_width = metrics.horizontalAdvance("W2(1)&W4(2)") + 34;
    QWidget* power = make_field(channel.gain, 7, box);
    power->setFixedWidth(control_width);
    add_row(grid, 0, label(channel.power_caption, box), power, label(channel.power_unit, box));
    int row = 1;
    if (channel.has_walsh()) {
        QComboBox* walsh = choice(channel.walsh, box);
        walsh->setFixedWidth(control_width);
        add_row(grid, row++, label(channel.walsh_caption, box), walsh);
    }
    if (extra != nullptr) {
        QComboBox* list = choice(extra->list, box);
        list->setFixedWidth(control_width);
        add_row(grid, row++, label(extra->caption, box), list);
    }
    grid->setRowStretch(row, 1);
    return box;
}

QGroupBox* MainWindow::build_filter(const form::Frame& frame, QWidget* parent,
                                    std::initializer_list<std::pair<form::Label*, form::ChoiceList*>> lists) {
    QGroupBox* box = group(frame, parent);
    QGridLayout* grid = form_grid(box);
    int row = 0;
    for (const auto& [caption, list] : lists) {
        add_row(grid, row++, label(*caption, box), choice(*list, box, 80));
    }
    return box;
}

QGroupBox* MainWindow::build_markers(int link, QWidget* parent) {
    QGroupBox* box = group(form_.markers.frame[link], parent);
    QGridLayout* grid = form_grid(box);
    int row = 0;
    for (int m = 0; m < 2; ++m) {
        MarkerFields& marker = form_.markers.marker(m);
        if (m > 0) {
            auto* line = new QFrame(box);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, row++, 0, 1, 3);
        }
        QLabel* caption = label(marker.caption[link], box);
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        add_row(grid, row++, caption, choice(marker.mode[link], box, 100));
        add_row(grid, row++, label(marker.start_caption[link], box), make_field(marker.start[link], 8, box),
                label(marker.start_unit[link], box));
        add_row(grid, row++, label(marker.high_caption[link], box), make_field(marker.high[link], 8, box),
                label(marker.high_unit[link], box));
    }
    return box;
}

QGroupBox* MainWindow::build_frequency_offset(FrequencyOffsetFrame& offset, QWidget* parent) {
    QGroupBox* box = group(offset.frame, parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(make_options(offset.option, Qt::Horizontal, box));
    auto* values = new QWidget(box);
    QGridLayout* grid = form_grid(values);
    grid->setContentsMargins(0, 0, 0, 0);
    add_row(grid, 0, label(offset.freqerr_caption, values), make_field(offset.freqerr, 12, values),
            label(offset.freqerr_unit, values));
    add_row(grid, 1, label(offset.ifconv_caption, values), make_field(offset.ifconv, 12, values),
            label(offset.ifconv_unit, values));
    layout->addWidget(values);
    // Room for the note's lines from the start, so that the note coming and going moves nothing.
    QLabel* note = label(offset.note, box);
    note->setWordWrap(true);
    note->setStyleSheet("color: #a05000");
    note->setFixedHeight(note->fontMetrics().lineSpacing() * 3);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(note);
    return box;
}

QWidget* MainWindow::build_uplink_channel_page(QWidget* parent) {
    UplinkPanel& uplink = form_.uplink;
    auto* page = new QWidget(parent);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(10);

    // The channels of the chosen radio configuration.
    QGroupBox* channels = group(uplink.channel_frame, page);
    auto* channel_layout = new QVBoxLayout(channels);
    auto* configuration = new QHBoxLayout;
    configuration->addWidget(new QLabel("Radio Configuration :", channels));
    configuration->addWidget(make_options(uplink.UL_CH_Selection_Option, Qt::Horizontal, channels));
    configuration->addStretch(1);
    configuration->addWidget(button(form_.total_power.Adjust_Total_Power_Button[uplink_item], channels, 130));
    configuration->addWidget(button(uplink.UL_Default_Button, channels, 100));
    channel_layout->addLayout(configuration);

    auto* rc12 = new QFrame(channels);
    rc12->setFrameShape(QFrame::StyledPanel);
    bind_frame(rc12, uplink.UL_RC12_Frame);
    auto* rc12_layout = new QVBoxLayout(rc12);
    QLabel* qpsk = label(uplink.offset_qpsk, rc12);
    QFont large = qpsk->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    qpsk->setFont(large);
    qpsk->setAlignment(Qt::AlignCenter);
    rc12_layout->addWidget(qpsk);
    channel_layout->addWidget(rc12, 1);

    Rc34Group& rc34 = uplink.rc34;
    auto* rc34_frame = new QWidget(channels);
    bind_frame(rc34_frame, rc34.UL_RC34_Frame);
    auto* rc34_grid = new QGridLayout(rc34_frame);
    rc34_grid->setContentsMargins(0, 0, 0, 0);
    rc34_grid->addWidget(build_channel(rc34.PICH, nullptr, rc34_frame), 0, 0);
    rc34_grid->addWidget(build_channel(rc34.DCCH, nullptr, rc34_frame), 0, 1);
    rc34_grid->addWidget(build_channel(rc34.FCH, nullptr, rc34_frame), 0, 2);
    rc34_grid->addWidget(build_channel(rc34.SCH1, &rc34.SCH1_Repetition, rc34_frame), 1, 0);
    rc34_grid->addWidget(build_channel(rc34.SCH2, &rc34.SCH2_Repetition, rc34_frame), 1, 1);
    rc34_grid->setRowStretch(2, 1);
    channel_layout->addWidget(rc34_frame, 1);

    Rc7Group& rc7 = uplink.rc7;
    auto* rc7_frame = new QWidget(channels);
    bind_frame(rc7_frame, rc7.UL_RC7_Frame);
    auto* rc7_grid = new QGridLayout(rc7_frame);
    rc7_grid->setContentsMargins(0, 0, 0, 0);
    rc7_grid->setSpacing(6);
    const std::pair<UplinkChannel*, CaptionedList*> rc7_rows[] = {{&rc7.PICH, nullptr},
                                                                  {&rc7.SPICH, nullptr},
                                                                  {&rc7.EACH, nullptr},
                                                                  {&rc7.PDCCH, nullptr},
                                                                  {&rc7.REQCH, nullptr},
                                                                  {&rc7.DCCH, nullptr},
                                                                  {&rc7.ACKCH, nullptr},
                                                                  {&rc7.CQICH, &rc7.CQICH_Mod},
                                                                  {&rc7.FCH, nullptr},
                                                                  {&rc7.SCH1, &rc7.SCH1_Repetition},
                                                                  {&rc7.SCH2, &rc7.SCH2_Repetition},
                                                                  {&rc7.PDCH, &rc7.PDCH_Mod}};
    int index = 0;
    for (const auto& [channel, extra] : rc7_rows) {
        rc7_grid->addWidget(build_channel(*channel, extra, rc7_frame), index / 3, index % 3);
        ++index;
    }
    rc7_grid->setRowStretch(4, 1);
    channel_layout->addWidget(rc7_frame, 1);
    // Room for the largest group from the start, so the window keeps its size when the configuration changes.
    channels->setMinimumSize(channels->sizeHint().expandedTo(rc7_frame->sizeHint() + QSize(24, 60)));
    columns->addWidget(channels, 1);

    auto* side = new QVBoxLayout;
    side->setSpacing(8);
    side->addWidget(build_filter(uplink.filter_frame, page,
                                 {{&uplink.oversampling_caption, &uplink.UL_Filter_Over_Combo},
                                  {&uplink.iq_inverse_caption, &uplink.UL_Filter_IQinverse_Combo}}));
    side->addWidget(build_markers(uplink_item, page));
    side->addWidget(build_frequency_offset(uplink.offset, page));
    side->addStretch(1);
    columns->addLayout(side);
    return page;
}

QWidget* MainWindow::build_downlink_general_page(QWidget* parent) {
    DownlinkGeneralPage& downlink = form_.downlink_general;
    auto* page = new QWidget(parent);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->addWidget(build_filter(downlink.filter_frame, page,
                                 {{&downlink.oversampling_caption, &downlink.DL_Filter_Over_Combo},
                                  {&downlink.iq_inverse_caption, &downlink.DL_Filter_IQinverse_Combo},
                                  {&downlink.equalizer_caption, &downlink.DL_Filter_Equa_Combo}}));
    left->addWidget(build_frequency_offset(downlink.offset, page));
    auto* defaults = new QHBoxLayout;
    defaults->addStretch(1);
    defaults->addWidget(button(downlink.DL_GN_Default_Button, page, 100));
    left->addLayout(defaults);
    left->addStretch(1);
    columns->addLayout(left);

    auto* middle = new QVBoxLayout;
    middle->addWidget(build_markers(downlink_item, page));
    middle->addStretch(1);
    columns->addLayout(middle);
    columns->addStretch(1);
    return page;
}

} // namespace varnika::ui
