// The "Channel Parameters" list of the downlink channel page, virtualised: only the display slots inside the
// visible area have row widgets, and those are bound to whichever model rows sit at those slots. Scrolling
// or switching types rebinds the few widgets instead of creating or moving hundreds of them, so the window
// opens at once and switching on every type at full multiplicity stays instant.
#pragma once

#include "downlink/downlink_channel_page.h"

#include <QAbstractScrollArea>

#include <vector>

class QWidget;

namespace varnika::ui {

class DownlinkRowWidget;

// Screen geometry of the scrolled surface: a row pitch of 300 window units is this many pixels.
inline constexpr int downlink_row_pitch_px = 24;

// Column positions of the row widgets and the headings, in pixels.
struct DownlinkColumn {
    int x;
    int width;
};
// Index, type, length, number, power, modulation, second power, warning mark.
const std::vector<DownlinkColumn>& downlink_columns();
int downlink_row_width();

class DownlinkRowList : public QAbstractScrollArea {
public:
    DownlinkRowList(DownlinkChannelPage& page, QWidget* parent = nullptr);
    ~DownlinkRowList() override;

    // Row widgets currently bound to a model row.
    int bound_widget_count() const;
    // Lays the widgets out now rather than at the next turn of the event loop.
    void lay_out_now();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The keyboard in the rows: Tab and Shift+Tab go from cell to cell and on to the next or previous
    // row, Up and Down to the row above or below, Page Up and Page Down a page of rows; the list scrolls
    // so that the focused row shows whole.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void request_layout();
    void lay_out();
    void show_scroll_state();
    // Focuses the cell in `column` (or the nearest) of the row at `slot`; column -1 the first cell, INT_MAX
    // the last. False when there is no such row.
    bool focus_slot(int slot, int column, Qt::FocusReason reason);

    DownlinkChannelPage& page_;
    std::vector<DownlinkRowWidget*> pool_;
    std::vector<form::Connection> connections_;
    bool layout_pending_ = false;
};

// The column headings above the list.
QWidget* make_downlink_headings(DownlinkChannelPage& page, QWidget* parent);

} // namespace varnika::ui
