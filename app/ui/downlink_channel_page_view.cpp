#include "ui/downlink_channel_page_view.h"

#include "ui/binding.h"
#include "ui/downlink_row_list.h"
#include "ui/group_frame_style.h"
#include "ui/spin_field.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnika::ui {

namespace {

QGroupBox* group(const form::Frame& frame, QWidget* parent) {
    QGroupBox* box = make_framed_group(parent);
    bind_frame(box, frame);
    return box;
}

QPushButton* button(form::Button& element, QWidget* parent, int min_width) {
    auto* widget = new QPushButton(parent);
    bind_button(widget, element);
    widget->setMinimumWidth(min_width);
    return widget;
}

QLabel* label(form::Label& element, QWidget* parent) {
    auto* widget = new QLabel(parent);
    bind_label(widget, element);
    return widget;
}

// Two columns of types: name, "ON"/"OFF" button, multiplicity.
QGroupBox* build_status(DownlinkChannelPage& page, QWidget* parent) {
    QGroupBox* box = group(page.status_frame, parent);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    constexpr int rows = (dl_type_count + 1) / 2;
    for (int type = 0; type < dl_type_count; ++type) {
        DlTypeStatus& status = page.type_status(type);
        const int row = type % rows;
        const int column = (type / rows) * 4;
        grid->addWidget(label(status.DL_CH_Stat_Label, box), row, column);
        QPushButton* on_off = button(status.DL_CH_Stat_Command, box, 46);
        on_off->setFixedHeight(22);
        grid->addWidget(on_off, row, column + 1);
        QWidget* multiplicity = make_field(status.DL_CH_Multi_Text, 3, box);
        multiplicity->setFixedWidth(62);
        grid->addWidget(multiplicity, row, column + 2);
    }
    grid->setColumnMinimumWidth(3, 10);

    auto* total = new QHBoxLayout;
    total->addStretch(1);
    total->addWidget(label(page.total_caption, box));
    QLabel* count = label(page.DL_CH_Total_Multi_Text, box);
    count->setFrameShape(QFrame::StyledPanel);
    count->setFrameShadow(QFrame::Sunken);
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count->setMinimumWidth(48);
    total->addWidget(count);
    grid->addLayout(total, rows, 4, 1, 3);
    return box;
}

} // namespace

QWidget* build_downlink_channel_page(MainForm& form, QWidget* parent) {
    DownlinkChannelPage& page = form.downlink_channels;
    auto* widget = new QWidget(parent);
    auto* columns = new QHBoxLayout(widget);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->setSpacing(8);
    left->addWidget(build_status(page, widget));

    QGroupBox* models = group(page.test_model_frame, widget);
    auto* model_row = new QHBoxLayout(models);
    auto* model_list = new QComboBox(models);
    bind_choice(model_list, page.DL_CH_TestModel_Combo);
    model_row->addWidget(model_list, 1);
    model_row->addWidget(button(page.DL_CH_TestModel_Command, models, 60));
    left->addWidget(models);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(page.DL_CH_Default_Button, widget, 100));
    buttons->addStretch(1);
    buttons->addWidget(button(form.total_power.Adjust_Total_Power_Button[downlink_item], widget, 130));
    left->addLayout(buttons);
    left->addStretch(1);
    columns->addLayout(left);

    QGroupBox* parameters = group(page.parameters_frame, widget);
    auto* list_layout = new QVBoxLayout(parameters);
    list_layout->setSpacing(2);
    list_layout->addWidget(make_downlink_headings(page, parameters));
    auto* list = new DownlinkRowList(page, parameters);
    list->setMinimumHeight(8 * downlink_row_pitch_px);
    list_layout->addWidget(list, 1);
    columns->addWidget(parameters, 1);
    return widget;
}

} // namespace varnika::ui
