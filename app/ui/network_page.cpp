#include "ui/network_page.h"

#include "ui/binding.h"
#include "ui/group_frame_style.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace varnika::ui {

namespace {

using OctetEdits = std::array<QPointer<QLineEdit>, 4>;

// Right arrow at the end of an octet goes on to the next octet, Left arrow at its start back to the
// previous one, as in an address field.
class OctetArrows : public QObject {
public:
    OctetArrows(QLineEdit* edit, const OctetEdits& edits, int n) : QObject(edit), edits_(edits), n_(n) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* edit = static_cast<QLineEdit*>(watched);
        if (key->modifiers() & Qt::ShiftModifier) {
            return false;
        }
        if (key->key() == Qt::Key_Right && n_ < 4 && edit->cursorPosition() == edit->text().size()) {
            return move_to(n_ + 1);
        }
        if (key->key() == Qt::Key_Left && n_ > 1 && edit->cursorPosition() == 0 && !edit->hasSelectedText()) {
            return move_to(n_ - 1);
        }
        return false;
    }

private:
    bool move_to(int n) {
        QLineEdit* next = edits_[static_cast<std::size_t>(n - 1)];
        if (next == nullptr) {
            return false;
        }
        next->setFocus(Qt::TabFocusReason);
        return true;
    }

    OctetEdits edits_;
    int n_;
};

QLabel* label(form::Label& element, QWidget* parent) {
    auto* widget = new QLabel(parent);
    bind_label(widget, element);
    return widget;
}

QPushButton* button(form::Button& element, QWidget* parent) {
    auto* widget = new QPushButton(parent);
    bind_button(widget, element);
    widget->setMinimumWidth(90);
    return widget;
}

QGroupBox* group(form::Frame& frame, QWidget* parent) {
    QGroupBox* box = make_framed_group(parent);
    bind_frame(box, frame);
    return box;
}

QWidget* address_row(TesterNetwork& network, int item, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    OctetEdits edits;
    form::Label* dots[] = {&network.Dotto1[item], &network.Dotto2[item], &network.Dotto3[item]};
    for (int n = 1; n <= 4; ++n) {
        auto* edit = new QLineEdit(row);
        bind_field(edit, network.octet(n, item));
        edit->setMaxLength(3);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("0000") + 12);
        edit->setAlignment(Qt::AlignCenter);
        edits[static_cast<std::size_t>(n - 1)] = edit;
        layout->addWidget(edit);
        if (n < 4) {
            layout->addWidget(label(*dots[n - 1], row));
        }
    }
    for (int n = 1; n <= 4; ++n) {
        QLineEdit* edit = edits[static_cast<std::size_t>(n - 1)];
        edit->installEventFilter(new OctetArrows(edit, edits, n));
    }
    // Enter in an octet moves on to the next one of the same page, with its text selected.
    auto earlier = network.focus_wanted;
    network.focus_wanted = [earlier, edits, &network, item](form::TextField& field) {
        for (int n = 1; n <= 4; ++n) {
            QLineEdit* edit = edits[static_cast<std::size_t>(n - 1)];
            if (&network.octet(n, item) == &field && edit != nullptr) {
                edit->setFocus(Qt::TabFocusReason);
                edit->selectAll();
                return;
            }
        }
        if (earlier) {
            earlier(field);
        }
    };
    layout->addStretch(1);
    return row;
}

} // namespace

QWidget* make_network_page(TesterNetwork& network, int item, QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(10);

    QGroupBox* address = group(network.network_frame[item], page);
    auto* grid = new QGridLayout(address);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(make_options(network.address_mode(item), Qt::Horizontal, address), 0, 0, 1, 3);
    grid->addWidget(new QLabel("IP Address :", address), 1, 0);
    grid->addWidget(address_row(network, item, address), 1, 1);
    grid->addWidget(label(network.ip_address_info[item], address), 1, 2);
    grid->addWidget(new QLabel("Host Name :", address), 2, 0);
    auto* host = new QLineEdit(address);
    bind_field(host, network.Q4410_Host_Name[item]);
    host->setMinimumWidth(host->fontMetrics().horizontalAdvance("0000.0000.0000.0000"));
    grid->addWidget(host, 2, 1);
    grid->addWidget(label(network.host_name_info[item], address), 2, 2);
    // Beside the read-outs: a look-up under way (with its busy mark), or why the tester's folder is unknown.
    auto* note = label(network.lookup_note[item], address);
    note->setWordWrap(true);
    grid->addWidget(note, 3, 0, 1, 3);
    auto* busy = new QProgressBar(address);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setMaximumWidth(120);
    bind_state(busy, network.lookup_busy[item]);
    busy->setObjectName(qt_text(network.lookup_busy[item].object_name()));
    auto* apply = new QHBoxLayout;
    apply->addWidget(busy);
    apply->addStretch(1);
    apply->addWidget(button(network.Apply_NetConfig[item], address));
    grid->addLayout(apply, 4, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    auto* right = new QVBoxLayout;
    QGroupBox* save = group(network.save_frame[item], page);
    auto* save_layout = new QVBoxLayout(save);
    save_layout->addWidget(make_options(network.save_mode(item), Qt::Vertical, save));
    right->addWidget(save);
    auto* defaults = new QHBoxLayout;
    defaults->addStretch(1);
    defaults->addWidget(button(network.NetWorkDef_Button[item], page));
    right->addLayout(defaults);
    right->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(address);
    left->addStretch(1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    return page;
}

} // namespace varnika::ui
