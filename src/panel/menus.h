#pragma once
// The main menu and the signal pop-up menu as data: captions and shortcuts exactly as
// the signaller sees them, and whether the command is available yet. A command whose
// subsystem is not part of the program yet is shown disabled; this table is the one
// place that says which those are.

#include <array>

namespace kestra {

enum class MenuCommand {
    NewSimulation,
    SaveAs,
    Exit,
    TimetableEdit,
    TimetableOpen,
    TimetableSaveAs,
    InterposeBySignal,
    CancelBySignal,
    FindDescription,
    OverrideReminderMode,
    ListenForClients,
    ConnectToServer,
    DisconnectFromServer,
    SendMessage,
    ShowAssessorControlPanel,
    Refresh,
    ShowTrainList,
    Options,
    PerformanceAnalysis,
    Telephone,
    IncidentReport,
    // The signal pop-up menu.
    SignalCancelRoute,
    SignalGeneralReminder,
    SignalTractionReminder,
    SignalInterposeTD,
    SignalCancelTD,
    // The train-describer pop-up menu.
    BerthInterpose,
    BerthCancel,
    BerthMakeARS,
    BerthMakeNonARS,
    BerthIsARS,
    BerthQueryRoutesetting,
    BerthQueryTimetable,
    BerthPopupARSInformation,
    BerthRunToSpecialTiming,
};

struct MenuItem {
    const char* Menu;      // the main-menu heading, or "" for the signal pop-up menu
    const char* Caption;
    const char* Shortcut;  // "" for none
    MenuCommand Command;
    bool Available;        // false: the subsystem behind it is not built yet
    bool Hidden;           // never shown (opened only by the assessor's mode)
};

// In menu order; separators are the front end's.
inline constexpr std::array<MenuItem, 26> MainMenuItems{{
    {"&File", "&New Simulation", "", MenuCommand::NewSimulation, true, false},
    {"&File", "Save &As...", "Ctrl+S", MenuCommand::SaveAs, true, false},
    {"&File", "E&xit", "", MenuCommand::Exit, true, false},
    {"&Timetable", "&Edit", "F4", MenuCommand::TimetableEdit, true, false},
    {"&Timetable", "&Open (merge with current)", "", MenuCommand::TimetableOpen, true, false},
    {"&Timetable", "Save As...", "", MenuCommand::TimetableSaveAs, true, false},
    {"Train &Describer", "&Interpose By Signal", "Ctrl+I", MenuCommand::InterposeBySignal, true, false},
    {"Train &Describer", "&Cancel By Signal", "", MenuCommand::CancelBySignal, true, false},
    {"Train &Describer", "&Find Description", "", MenuCommand::FindDescription, true, false},
    {"Si&gnalling", "&Override Reminder Mode", "", MenuCommand::OverrideReminderMode, true, false},
    {"&Multiplayer", "&Listen for clients", "", MenuCommand::ListenForClients, false, false},
    {"&Multiplayer", "&Connect to server", "", MenuCommand::ConnectToServer, false, false},
    {"&Multiplayer", "&Disconnect from server", "", MenuCommand::DisconnectFromServer, false, false},
    {"&Multiplayer", "&Send Message", "F10", MenuCommand::SendMessage, false, false},
    {"&Multiplayer", "Show Assessor Control Panel", "F11", MenuCommand::ShowAssessorControlPanel, false, true},
    {"&Multiplayer", "&Refresh", "", MenuCommand::Refresh, false, false},
    {"&Multiplayer", "&Show Train List", "F2", MenuCommand::ShowTrainList, true, false},
    {"&Multiplayer", "&Options", "F3", MenuCommand::Options, true, false},
    {"&Multiplayer", "&Performance Analysis", "F5", MenuCommand::PerformanceAnalysis, true, false},
    {"&Multiplayer", "&T&elephone", "F6", MenuCommand::Telephone, true, false},
    {"&Multiplayer", "&Incident Report", "F7", MenuCommand::IncidentReport, true, false},
    {"", "&Cancel Route", "", MenuCommand::SignalCancelRoute, true, false},
    {"", "General Isolation Reminder", "", MenuCommand::SignalGeneralReminder, true, false},
    {"", "Traction Isolation Reminder", "", MenuCommand::SignalTractionReminder, true, false},
    {"", "&Interpose TD", "", MenuCommand::SignalInterposeTD, true, false},
    {"", "C&ancel TD", "", MenuCommand::SignalCancelTD, true, false},
}};

// The train-describer pop-up menu, opened by a right click on a described berth.
inline constexpr std::array<MenuItem, 9> BerthMenuItems{{
    {"", "&Interpose", "", MenuCommand::BerthInterpose, true, false},
    {"", "&Cancel", "", MenuCommand::BerthCancel, true, false},
    {"", "Make Train &ARS", "", MenuCommand::BerthMakeARS, true, false},
    {"", "Make Train &Non-ARS", "", MenuCommand::BerthMakeNonARS, true, false},
    {"", "&Is Train ARS?", "", MenuCommand::BerthIsARS, true, false},
    {"", "&Query ARS Routesetting Status", "", MenuCommand::BerthQueryRoutesetting, true, false},
    {"", "Query ARS &Timetable", "", MenuCommand::BerthQueryTimetable, true, false},
    {"", "&Popup ARS Information", "", MenuCommand::BerthPopupARSInformation, true, false},
    {"", "ARS Run To &Special Timing Pattern", "", MenuCommand::BerthRunToSpecialTiming, true, false},
}};

}  // namespace kestra
