// The main window Form1 as a model: the link choice, the two tab sets, the Tester Mode list, the read-outs
// and the three buttons, over the panels of both links (WindowPages). It owns the settings model and
// everything the window shows; the Qt view only binds to it.
#pragma once

#include "form/button.h"
#include "form/element.h"
#include "form/option_group.h"
#include "form/platform.h"
#include "window/exit_flow.h"
#include "window/window_pages.h"

#include <array>

namespace varnika {

inline constexpr const char* main_window_caption = "MERIDEX --- cdma2000 1x EV-DV Signal Generator Ver.1.2";

class MainForm : public WindowPages {
public:
    explicit MainForm(form::Platform& platform);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    form::Frame Form1{"Form1", main_window_caption};
    form::Frame link_frame{"Link_Frame", "Link"};
    form::OptionGroup Link_Selection_Option{"Link_Selection_Option",
                                            {"Uplink(Reverse)", "Downlink(Forward)"}};

    form::TabSet UL_SSTab{"UL_SSTab", {"Channel Settings (Uplink)", "Common System Settings"}};
    // Page n of UL_SSTab shows UL_Frame item n.
    std::array<form::Frame, 2> UL_Frame{form::Frame(form::ElementId("UL_Frame", 0)),
                                        form::Frame(form::ElementId("UL_Frame", 1))};
    form::TabSet DL_SSTab{
        "DL_SSTab", {"General Settings (Downlink)", "Channel Settings (Downlink)", "Common System Settings"}};
    std::array<form::Frame, 3> DL_Frame{form::Frame(form::ElementId("DL_Frame", 0)),
                                        form::Frame(form::ElementId("DL_Frame", 1)),
                                        form::Frame(form::ElementId("DL_Frame", 2))};

    form::Button MakeAWGFile_Button{"MakeAWGFile_Button", "Make AWG File"};
    form::Button MakeFloatingFile_Button{"MakeFloatingFile_Button", "Make Floating File"};
    form::Button Exit_Button{"Exit_Button", "Exit"};
    // The exit dialog and what its answers do; the view hands every close request of the window to it.
    ExitFlow exit_flow;

    // The read-outs of the chosen link, as at the end of start-up.
    void refresh_chosen_link_readouts();

private:
    void link_changed();
    void uplink_tab_changed();
    void downlink_tab_changed();
};

} // namespace varnika
