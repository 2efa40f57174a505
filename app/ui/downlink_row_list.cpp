#include "ui/downlink_row_list.h"

#include "ui/binding.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnika::ui {

namespace {

constexpr int field_height = 22;
constexpr int arrow_width = 14;
constexpr double px_per_unit = static_cast<double>(downlink_row_pitch_px) / dl_row_pitch;

int to_px(double units) {
    return static_cast<int>(std::lround(units * px_per_unit));
}

enum Column {
    IndexColumn,
    TypeColumn,
    LengthColumn,
    NumberColumn,
    PowerColumn,
    ModColumn,
    Power2Column,
    WarnColumn
};

// The column a row's cell stands in, for moving the focus up and down the list.
constexpr const char* column_property = "varnika_column";
// Set on a cell whose Up and Down keys step its value.
constexpr const char* spin_property = "varnika_spins";

void place(QWidget* widget, Column column) {
    const DownlinkColumn& c = downlink_columns()[static_cast<std::size_t>(column)];
    widget->setGeometry(c.x, 1, c.width, field_height);
    widget->setProperty(column_property, static_cast<int>(column));
}

QToolButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(type);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus); // the field keeps the focus while its value steps
    return button;
}

// A line edit, with spin arrows where the field has them, that can be bound to one text field after
// another as the row widget moves between model rows. What the user does goes to the bound field.
class BoundEdit : public QObject {
public:
    BoundEdit(QWidget* row, Column column, bool arrows) : QObject(row), edit_(new QLineEdit(row)) {
        edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit_->installEventFilter(this);
        QObject::connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
            if (field_ != nullptr) {
                field_->set_text(text.toStdString());
            }
        });
        const DownlinkColumn& c = downlink_columns()[static_cast<std::size_t>(column)];
        if (arrows) {
            up_ = arrow(Qt::UpArrow, row);
            down_ = arrow(Qt::DownArrow, row);
            up_->setGeometry(c.x + c.width - arrow_width, 1, arrow_width, field_height / 2);
            down_->setGeometry(c.x + c.width - arrow_width, 1 + field_height / 2, arrow_width,
                               field_height / 2);
            QObject::connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
            QObject::connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
        }
        edit_->setGeometry(c.x, 1, c.width - (arrows ? arrow_width + 1 : 0), field_height);
        edit_->setProperty(column_property, static_cast<int>(column));
    }

    void bind(form::TextField* field) {
        connection_.disconnect();
        field_ = field;
        if (field_ != nullptr) {
            edit_->setObjectName(qt_text(field_->object_name()));
            if (up_ != nullptr) {
                up_->setObjectName(qt_text(field_->spin_object_name()) + "_Up");
                down_->setObjectName(qt_text(field_->spin_object_name()) + "_Down");
            }
            connection_ = field_->on_change([this] { refresh(); });
        }
        refresh();
    }

private:
    void refresh() {
        const bool shown = field_ != nullptr && field_->visible();
        if (shown) {
            const QString text = qt_text(field_->text());
            if (edit_->text() != text) {
                edit_->setText(text);
            }
            edit_->setEnabled(field_->enabled());
        }
        edit_->setVisible(shown);
        edit_->setProperty(spin_property, shown && field_->has_spin());
        if (up_ != nullptr) {
            const bool arrows = shown && field_->has_spin();
            for (QToolButton* button : {up_, down_}) {
                button->setVisible(arrows);
                button->setEnabled(arrows && field_->enabled());
            }
        }
    }

    void step(int direction) {
        if (field_ != nullptr) {
            field_->spin(direction);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (field_ != nullptr && event->type() == QEvent::KeyPress) {
            return key_pressed(static_cast<QKeyEvent*>(event));
        }
        if (field_ != nullptr && event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // A popup (context menu) or another application taking the focus is not leaving the field.
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                field_->commit();
            }
        }
        return QObject::eventFilter(watched, event);
    }

    bool key_pressed(QKeyEvent* key) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            field_->press_key(form::TextField::enter_key);
            return true;
        }
        if (field_->has_spin() && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            field_->spin(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
        for (const uint code : key->text().toUcs4()) {
            if (field_->press_key(static_cast<char32_t>(code)) == form::KeyOutcome::Refused) {
                QApplication::beep();
                return true;
            }
        }
        return false;
    }

    QLineEdit* edit_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    form::TextField* field_ = nullptr;
    form::Connection connection_;
};

// A drop-down list bound to one choice list after another.
class BoundChoice : public QObject {
public:
    BoundChoice(QWidget* row, Column column) : QObject(row), combo_(new QComboBox(row)) {
        place(combo_, column);
        QObject::connect(combo_, &QComboBox::activated, this, [this](int index) {
            if (list_ != nullptr) {
                list_->select(index);
            }
        });
    }

    void bind(form::ChoiceList* list) {
        connection_.disconnect();
        list_ = list;
        if (list_ != nullptr) {
            combo_->setObjectName(qt_text(list_->object_name()));
            connection_ = list_->on_change([this] { refresh(); });
        }
        refresh();
    }

private:
    void refresh() {
        const bool shown = list_ != nullptr && list_->visible();
        if (shown) {
            QStringList items;
            for (const std::string& item : list_->items()) {
                items.push_back(qt_text(item));
            }
            QStringList current;
            for (int k = 0; k < combo_->count(); ++k) {
                current.push_back(combo_->itemText(k));
            }
            if (current != items) {
                combo_->clear();
                combo_->addItems(items);
            }
            combo_->setCurrentIndex(list_->selected());
            combo_->setEnabled(list_->enabled());
        }
        combo_->setVisible(shown);
    }

    QComboBox* combo_;
    form::ChoiceList* list_ = nullptr;
    form::Connection connection_;
};

class BoundLabel : public QObject {
public:
    BoundLabel(QWidget* row, Column column, QLabel* label) : QObject(row), label_(label) {
        place(label_, column);
    }

    void bind(form::Label* label) {
        connection_.disconnect();
        element_ = label;
        if (element_ != nullptr) {
            label_->setObjectName(qt_text(element_->object_name()));
            connection_ = element_->on_change([this] { refresh(); });
        }
        refresh();
    }

private:
    void refresh() {
        const bool shown = element_ != nullptr && element_->visible();
        if (shown) {
            label_->setText(qt_text(element_->text()));
        }
        label_->setVisible(shown);
    }

    QLabel* label_;
    form::Label* element_ = nullptr;
    form::Connection connection_;
};

template <class T> T* engaged(std::optional<T>& element) {
    return element ? &*element : nullptr;
}

} // namespace

// The widgets of one display slot.
class DownlinkRowWidget : public QWidget {
public:
    DownlinkRowWidget(const DownlinkChannelPage& page, QWidget* parent) : QWidget(parent), page_(page) {
        resize(downlink_row_width(), downlink_row_pitch_px);
        auto* index = new QLabel(this);
        index->setFrameShape(QFrame::StyledPanel);
        index->setFrameShadow(QFrame::Sunken);
        index->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        index_ = new BoundLabel(this, IndexColumn, index);
        type_ = new BoundLabel(this, TypeColumn, new QLabel(this));
        auto* warn = new QLabel(this);
        warn->setStyleSheet("color: #c01010; font-weight: bold;");
        warn->installEventFilter(this);
        warn_ = new BoundLabel(this, WarnColumn, warn);
        wlen_text_ = new BoundEdit(this, LengthColumn, false);
        wlen_combo_ = new BoundChoice(this, LengthColumn);
        wno_text_ = new BoundEdit(this, NumberColumn, true);
        wno_combo_ = new BoundChoice(this, NumberColumn);
        power_ = new BoundEdit(this, PowerColumn, true);
        mod_text_ = new BoundEdit(this, ModColumn, false);
        mod_combo_ = new BoundChoice(this, ModColumn);
        power2_ = new BoundEdit(this, Power2Column, true);
        bind(nullptr);
    }

    DlRow* bound() const { return row_; }
    // The display slot the widgets stand at while bound.
    int slot = -1;

    // The cells the keyboard can reach now, left to right.
    std::vector<QWidget*> cells() const {
        std::vector<QWidget*> out;
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->property(column_property).isValid() && child->isVisibleTo(this) &&
                child->isEnabled() && (child->focusPolicy() & Qt::TabFocus) != 0) {
                out.push_back(child);
            }
        }
        std::sort(out.begin(), out.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
        return out;
    }

    // Binds the widgets to `row`; nullptr leaves the slot empty.
    void bind(DlRow* row) {
        if (row == row_ && row != nullptr) {
            return;
        }
        // A field being edited is left (and so committed) while it still belongs to its row.
        if (QWidget* focused = QApplication::focusWidget(); focused != nullptr && isAncestorOf(focused)) {
            focused->clearFocus();
        }
        row_ = row;
        index_->bind(row ? &row->DL_CH_INDEX_Text : nullptr);
        type_->bind(row ? &row->DL_CH_TYPE_Label : nullptr);
        warn_->bind(row ? &row->DL_CH_WARN_Label : nullptr);
        wlen_text_->bind(row ? engaged(row->DL_CH_WLEN_Text) : nullptr);
        wlen_combo_->bind(row ? engaged(row->DL_CH_WLEN_Combo) : nullptr);
        wno_text_->bind(row ? engaged(row->DL_CH_WNO_Text) : nullptr);
        wno_combo_->bind(row ? engaged(row->DL_CH_WNO_Combo) : nullptr);
        power_->bind(row ? &row->DL_CH_POWER_Text : nullptr);
        mod_text_->bind(row ? engaged(row->DL_CH_MOD_Text) : nullptr);
        mod_combo_->bind(row ? engaged(row->DL_CH_MOD_Combo) : nullptr);
        power2_->bind(row ? engaged(row->DL_CH_POWER2_Text) : nullptr);
        setVisible(row != nullptr);
    }

private:
    // A marked row's tooltip names the rows it clashes with, as they stand when the pointer rests on it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip && row_ != nullptr && row_->marked()) {
            QStringList names;
            for (const int r : page_.rows_clashing_with(row_->row())) {
                names.push_back(qt_text(channel_label(page_, r)));
            }
            static_cast<QWidget*>(watched)->setToolTip("Clashes with " + names.join(", "));
        }
        return QWidget::eventFilter(watched, event);
    }

    const DownlinkChannelPage& page_;
    DlRow* row_ = nullptr;
    BoundLabel* index_;
    BoundLabel* type_;
    BoundLabel* warn_;
    BoundEdit* wlen_text_;
    BoundChoice* wlen_combo_;
    BoundEdit* wno_text_;
    BoundChoice* wno_combo_;
    BoundEdit* power_;
    BoundEdit* mod_text_;
    BoundChoice* mod_combo_;
    BoundEdit* power2_;
};

const std::vector<DownlinkColumn>& downlink_columns() {
    static const std::vector<DownlinkColumn> columns = [] {
        const int widths[] = {40, 56, 70, 78, 88, 80, 88, 66};
        std::vector<DownlinkColumn> out;
        int x = 2;
        for (const int width : widths) {
            out.push_back({x, width});
            x += width + 4;
        }
        return out;
    }();
    return columns;
}

int downlink_row_width() {
    const DownlinkColumn& last = downlink_columns().back();
    return last.x + last.width + 2;
}

DownlinkRowList::DownlinkRowList(DownlinkChannelPage& page, QWidget* parent)
    : QAbstractScrollArea(parent), page_(page) {
    setObjectName("DL_Channel_Parameters_List");
    viewport()->setObjectName("DL_CH_Picture2");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setObjectName(qt_text(page.DL_Channel_Parameters_VScroll.object_name()));
    setMinimumWidth(downlink_row_width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());

    QObject::connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        page_.DL_Channel_Parameters_VScroll.set_value(value);
        lay_out(); // the user is dragging: follow at once
    });
    connections_.push_back(page.DL_Channel_Parameters_VScroll.on_change([this] {
        show_scroll_state();
        request_layout();
    }));
    // The shown slots change only when a type is switched or its multiplicity changes.
    for (int type = 0; type < dl_type_count; ++type) {
        connections_.push_back(page.DL_CH_Stat_Command(type).on_change([this] { request_layout(); }));
        connections_.push_back(page.DL_CH_Multi_Text(type).on_change([this] { request_layout(); }));
    }
    show_scroll_state();
    request_layout();
}

DownlinkRowList::~DownlinkRowList() {
    connections_.clear();
}

int DownlinkRowList::bound_widget_count() const {
    return static_cast<int>(std::count_if(pool_.begin(), pool_.end(),
                                          [](const DownlinkRowWidget* w) { return w->bound() != nullptr; }));
}

void DownlinkRowList::lay_out_now() {
    lay_out();
}

void DownlinkRowList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // The list scrolls no further than its last full page.
    page_.DL_Channel_Parameters_VScroll.set_view_units(
        static_cast<std::int32_t>(std::floor(viewport()->height() / px_per_unit)));
    show_scroll_state();
    lay_out();
}

void DownlinkRowList::scrollContentsBy(int, int) {
    // The surface follows the model's scroll value; see the valueChanged connection.
}

void DownlinkRowList::request_layout() {
    if (layout_pending_) {
        return;
    }
    layout_pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            layout_pending_ = false;
            lay_out();
        },
        Qt::QueuedConnection);
}

void DownlinkRowList::show_scroll_state() {
    const VerticalScroll& scroll = page_.DL_Channel_Parameters_VScroll;
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker quiet(bar); // the model already has these values
    bar->setRange(0, scroll.maximum());
    bar->setSingleStep(static_cast<int>(std::lround(dl_row_pitch / dl_scroll_units_per_step)));
    const double page_units = viewport()->height() / px_per_unit;
    bar->setPageStep(std::max(1, static_cast<int>(page_units / dl_scroll_units_per_step)));
    bar->setValue(scroll.value());
}

void DownlinkRowList::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    lay_out();
}

void DownlinkRowList::lay_out() {
    layout_pending_ = false;
    // The row widgets are made when the list is first shown, not while the window opens on another page;
    // a hidden list is laid out again when it shows.
    if (!isVisible()) {
        return;
    }
    const int offset_units = page_.DL_Channel_Parameters_VScroll.surface_offset();
    const int first_slot = std::max(0, (-offset_units - dl_row_offset) / dl_row_pitch);
    const int needed = viewport()->height() / downlink_row_pitch_px + 2;
    while (static_cast<int>(pool_.size()) < needed) {
        auto* widget = new DownlinkRowWidget(page_, viewport());
        for (QWidget* cell : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (cell->property(column_property).isValid()) {
                cell->installEventFilter(this);
            }
        }
        pool_.push_back(widget);
    }
    for (int k = 0; k < static_cast<int>(pool_.size()); ++k) {
        DownlinkRowWidget* widget = pool_[static_cast<std::size_t>(k)];
        const int r = k < needed ? page_.row_at_slot(first_slot + k) : -1;
        if (r < 0) {
            widget->bind(nullptr);
            widget->slot = -1;
            continue;
        }
        DlRow& row = page_.row(r);
        widget->bind(&row);
        widget->slot = first_slot + k;
        widget->move(0, to_px(row.top + offset_units));
    }
}

bool DownlinkRowList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QAbstractScrollArea::eventFilter(watched, event);
    }
    auto* cell = static_cast<QWidget*>(watched);
    auto* row = static_cast<DownlinkRowWidget*>(cell->parentWidget());
    if (row->slot < 0) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const std::vector<QWidget*> cells = row->cells();
    const auto at = std::find(cells.begin(), cells.end(), cell);
    const int column = cell->property(column_property).toInt();
    const int rows_per_page = std::max(1, viewport()->height() / downlink_row_pitch_px - 1);
    // Up and Down step a value where the field has spin arrows, as in every field of the window; with
    // Ctrl they move between rows there too.
    const bool arrows_step =
        cell->property(spin_property).toBool() && (key->modifiers() & Qt::ControlModifier) == 0;
    switch (key->key()) {
    case Qt::Key_Tab:
        if (at != cells.end() && at + 1 != cells.end()) {
            (*(at + 1))->setFocus(Qt::TabFocusReason);
            return true;
        }
        return focus_slot(row->slot + 1, -1, Qt::TabFocusReason);
    case Qt::Key_Backtab:
        if (at != cells.end() && at != cells.begin()) {
            (*(at - 1))->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        return focus_slot(row->slot - 1, std::numeric_limits<int>::max(), Qt::BacktabFocusReason);
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (arrows_step) {
            return false;
        }
        return focus_slot(row->slot + (key->key() == Qt::Key_Up ? -1 : 1), column, Qt::OtherFocusReason) ||
               qobject_cast<QComboBox*>(cell) != nullptr; // a list's value changes only by a deliberate pick
    case Qt::Key_PageUp:
        return focus_slot(std::max(0, row->slot - rows_per_page), column, Qt::OtherFocusReason);
    case Qt::Key_PageDown:
        return focus_slot(std::min(page_.slot_count() - 1, row->slot + rows_per_page), column,
                          Qt::OtherFocusReason);
    default:
        return false;
    }
}

bool DownlinkRowList::focus_slot(int slot, int column, Qt::FocusReason reason) {
    if (slot < 0 || slot >= page_.slot_count()) {
        return false;
    }
    // Scroll just enough for the whole row to show, then focus its cell in the column (or the nearest).
    VerticalScroll& scroll = page_.DL_Channel_Parameters_VScroll;
    const int top_units = page_.row(page_.row_at_slot(slot)).top;
    const double view_units = viewport()->height() / px_per_unit;
    const int offset_units = scroll.surface_offset();
    if (top_units + offset_units < 0) {
        scroll.set_value(static_cast<int>(std::floor(top_units / dl_scroll_units_per_step)));
    } else if (top_units + offset_units + dl_row_pitch > view_units) {
        scroll.set_value(
            static_cast<int>(std::ceil((top_units + dl_row_pitch - view_units) / dl_scroll_units_per_step)));
    }
    lay_out();
    for (DownlinkRowWidget* widget : pool_) {
        if (widget->slot != slot) {
            continue;
        }
        const std::vector<QWidget*> cells = widget->cells();
        if (cells.empty()) {
            return false;
        }
        QWidget* target = column < 0 ? cells.front() : cells.back();
        if (column >= 0 && column != std::numeric_limits<int>::max()) {
            const auto distance = [column](QWidget* w) {
                return std::abs(w->property(column_property).toInt() - column);
            };
            target = *std::min_element(cells.begin(), cells.end(),
                                       [&](QWidget* a, QWidget* b) { return distance(a) < distance(b); });
        }
        target->setFocus(reason);
        if (auto* edit = qobject_cast<QLineEdit*>(target)) {
            edit->selectAll();
        }
        return true;
    }
    return false;
}

QWidget* make_downlink_headings(DownlinkChannelPage& page, QWidget* parent) {
    auto* headings = new QWidget(parent);
    headings->setObjectName("DL_CH_Headings");
    headings->setFixedHeight(field_height);
    headings->setMinimumWidth(downlink_row_width());
    const auto& columns = downlink_columns();
    for (std::size_t k = 0; k < page.headings.size() && k < columns.size(); ++k) {
        auto* label = new QLabel(headings);
        bind_label(label, page.headings[k]);
        label->setGeometry(columns[k].x, 0, columns[k].width, field_height);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
    }
    return headings;
}

} // namespace varnika::ui
