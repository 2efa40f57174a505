// The main window Form1: widgets laid out over the MainForm model and bound to it.
#pragma once

#include "window/main_form.h"

#include <QMainWindow>

#include <functional>
#include <string>

class QCloseEvent;
class QGroupBox;
class QWidget;

namespace varnika::ui {

class QtPlatform;

class MainWindow : public QMainWindow {
public:
    MainWindow(MainForm& form, QtPlatform& platform);

    // Adds Help > "About Varnika", whose box shows `text` (the version, the libraries, the settings folder).
    void set_about_text(const std::string& text);
    // The same with the text made when the box opens: naming the libraries' versions binds them, which
    // the program otherwise does only when a run first needs them.
    void set_about_text(std::function<std::string()> text);

protected:
    // Every way of closing the window (the "Exit" button, the close box, the desktop session ending)
    // asks the exit dialog; the window closes and the program ends only when the answer is to quit.
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* build_header(QWidget* parent);
    QWidget* build_uplink_tabs(QWidget* parent);
    QWidget* build_downlink_tabs(QWidget* parent);
    QWidget* build_uplink_channel_page(QWidget* parent);
    QWidget* build_downlink_general_page(QWidget* parent);
    QGroupBox* build_channel(UplinkChannel& channel, CaptionedList* extra, QWidget* parent);
    QGroupBox* build_filter(const form::Frame& frame, QWidget* parent,
                            std::initializer_list<std::pair<form::Label*, form::ChoiceList*>> lists);
    QGroupBox* build_markers(int link, QWidget* parent);
    QGroupBox* build_frequency_offset(FrequencyOffsetFrame& offset, QWidget* parent);
    // Tooltips on the ratio lists and on "Make AWG File" that say why the ratio chosen makes no AWG file.
    void explain_refused_ratios();

    MainForm& form_;
    std::function<std::string()> about_text_;
};

} // namespace varnika::ui
